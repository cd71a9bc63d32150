#include "lib/ResultText.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace ostrel::vell {
namespace {

constexpr char kSerializationFailed[] = "{\"error\":\"serialization failed\"}";

}  // namespace

char* copyCString(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

char* errorCString(std::string_view message) noexcept {
    try {
        return copyCString(toJson(ErrorResponse{std::string(message)}));
    } catch (...) {
        return const_cast<char*>(kSerializationFailed);
    }
}

void releaseCString(char* text) noexcept {
    if (text != kSerializationFailed) std::free(text);
}

}  // namespace ostrel::vell
