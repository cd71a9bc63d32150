#include "Platform/ProgramRestart.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace ostrel {

std::string restartThisProgram() {
    // The arguments as the kernel keeps them, each ended by a NUL.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arguments(std::istreambuf_iterator<char>(in), {});
    if (arguments.empty()) return "/proc/self/cmdline: cannot be read";
    if (arguments.back() != '\0') arguments.push_back('\0');
    std::vector<char*> argv;
    for (std::size_t at = 0; at < arguments.size(); at = arguments.find('\0', at) + 1) {
        argv.push_back(const_cast<char*>(arguments.data() + at));
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    // The executable the process runs, even when an update has replaced the file at its path.
    ::execv("/proc/self/exe", argv.data());
    return std::string("/proc/self/exe: ") + std::strerror(errno);
}

}  // namespace ostrel
