#pragma once

#include <string>

namespace ostrel {

// Absolute paths of the tools the sampler runs. The route and per-process tools are the
// program's own helpers in its libexec folder; the other two do not exist on Linux, so the
// steps that use them find nothing and fall through.
struct ToolPaths {
    std::string route;
    std::string nettop;
    std::string networksetup = "/usr/sbin/networksetup";
    std::string ipconfig = "/usr/sbin/ipconfig";

    static ToolPaths inLibexec(const std::string& libexecDir) {
        ToolPaths paths;
        paths.route = libexecDir + "/ostrel-route";
        paths.nettop = libexecDir + "/ostrel-nettop";
        return paths;
    }
};

}  // namespace ostrel
