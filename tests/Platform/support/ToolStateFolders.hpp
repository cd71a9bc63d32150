#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/support/TempTree.hpp"

namespace ostrel::testing {

// The per-process tool keeps its state and its listener in $XDG_STATE_HOME, else in
// $XDG_RUNTIME_DIR, else under the home folder. For the object's life both point into a
// temporary folder of the test's own, which goes with it; the environment is put back after.
class ToolStateFolders final {
public:
    ToolStateFolders() {
        set("XDG_STATE_HOME", folder_.file("state"));
        set("XDG_RUNTIME_DIR", folder_.file("runtime"));
    }
    ~ToolStateFolders() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    ToolStateFolders(const ToolStateFolders&) = delete;
    ToolStateFolders& operator=(const ToolStateFolders&) = delete;

    std::string stateHome() const { return folder_.file("state"); }

private:
    void set(const char* name, const std::string& folder) {
        ::mkdir(folder.c_str(), 0700);
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, folder.c_str(), 1);
    }

    TempTree folder_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace ostrel::testing
