#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ostrel {

// The XDG base folders. The rules take only absolute paths: a relative or empty value counts as
// unset, and so does a relative HOME for the defaults below it.
class XdgFolders final {
public:
    // A variable's value, or null when it is unset.
    using Lookup = std::function<const char*(const char*)>;

    // Reads this process's environment.
    XdgFolders();
    explicit XdgFolders(Lookup lookup);

    // $XDG_DATA_HOME, else $HOME/.local/share; empty when neither is known.
    std::string dataHome() const;
    // $XDG_CONFIG_HOME, else $HOME/.config; empty when neither is known.
    std::string configHome() const;
    // $XDG_STATE_HOME, else $HOME/.local/state; empty when neither is known.
    std::string stateHome() const;
    // $XDG_RUNTIME_DIR; the rules give it no default.
    std::string runtimeDir() const;
    // The absolute entries of $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
    std::vector<std::string> dataDirs() const;

private:
    std::string absolute(const char* name) const;
    std::string underHome(const char* name, const char* fallback) const;

    Lookup lookup_;
};

}  // namespace ostrel
