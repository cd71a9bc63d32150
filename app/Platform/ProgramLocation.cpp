#include "Platform/ProgramLocation.hpp"

#include <filesystem>
#include <system_error>

namespace ostrel {

std::string currentExecutablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

}  // namespace ostrel
