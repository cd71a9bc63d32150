#include "Model/Uuid.hpp"

#include <uuid/uuid.h>

#include <array>

namespace ostrel {

std::string makeUuidString() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    std::array<char, 37> text{};  // 36 characters and the terminating zero
    uuid_unparse_upper(uuid, text.data());
    return std::string(text.data(), 36);
}

}  // namespace ostrel
