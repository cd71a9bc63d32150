#pragma once

#include <string>

namespace ostrel {

// Absolute paths of the tools the sampler runs. The per-process tool is the program's own helper
// in its libexec folder; the other two do not exist on Linux, so the steps that use them find
// nothing and fall through.
struct ToolPaths {
    std::string nettop;
    std::string networksetup = "/usr/sbin/networksetup";
    std::string ipconfig = "/usr/sbin/ipconfig";

    static ToolPaths inLibexec(const std::string& libexecDir) {
        ToolPaths paths;
        paths.nettop = libexecDir + "/ostrel-nettop";
        return paths;
    }
};

}  // namespace ostrel
