#include "Platform/XdgFolders.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace ostrel {

XdgFolders::XdgFolders() : XdgFolders([](const char* name) -> const char* { return std::getenv(name); }) {}

XdgFolders::XdgFolders(Lookup lookup) : lookup_(std::move(lookup)) {}

std::string XdgFolders::absolute(const char* name) const {
    const char* value = lookup_(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

std::string XdgFolders::underHome(const char* name, const char* fallback) const {
    if (auto value = absolute(name); !value.empty()) return value;
    const auto home = absolute("HOME");
    return home.empty() ? home : home + fallback;
}

std::string XdgFolders::dataHome() const {
    return underHome("XDG_DATA_HOME", "/.local/share");
}

std::string XdgFolders::configHome() const {
    return underHome("XDG_CONFIG_HOME", "/.config");
}

std::string XdgFolders::stateHome() const {
    return underHome("XDG_STATE_HOME", "/.local/state");
}

std::string XdgFolders::runtimeDir() const {
    return absolute("XDG_RUNTIME_DIR");
}

std::vector<std::string> XdgFolders::dataDirs() const {
    std::vector<std::string> dirs;
    const char* value = lookup_("XDG_DATA_DIRS");
    const std::string list = value != nullptr ? value : "";
    for (std::size_t pos = 0; pos <= list.size();) {
        const auto colon = std::min(list.find(':', pos), list.size());
        if (colon > pos && list[pos] == '/') dirs.push_back(list.substr(pos, colon - pos));
        pos = colon + 1;
    }
    // A list with no usable entry counts as unset.
    if (dirs.empty()) dirs = {"/usr/local/share", "/usr/share"};
    return dirs;
}

}  // namespace ostrel
