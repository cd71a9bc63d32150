#pragma once

#include <string>

#include "Platform/LoginItem.hpp"

namespace ostrel {

// The login item as an XDG autostart entry: <autostart folder>/com.ostrel.Ostrel.desktop, a
// desktop entry that starts the program by its absolute path. The entry is replaced atomically,
// so a session starting meanwhile reads the old entry or the new one, never part of one.
class XdgAutostartItem final : public LoginItem {
public:
    static constexpr const char* fileName = "com.ostrel.Ostrel.desktop";

    XdgAutostartItem(std::string autostartDir, std::string executablePath);

    // $XDG_CONFIG_HOME/autostart when that is an absolute path, else $HOME/.config/autostart;
    // empty when neither is known.
    static std::string autostartDirFromEnvironment();
    // The entry's text. Throws LoginItemError for a path a desktop entry cannot hold (not
    // absolute, not UTF-8, control characters).
    static std::string desktopEntryText(const std::string& executablePath);

    std::string filePath() const;
    // Creates the autostart folder when it is missing (mode 0700).
    void registerItem() override;
    // An entry that is not there (nor its folder) counts as removed.
    void unregisterItem() override;

private:
    std::string autostartDir_;
    std::string executablePath_;
};

}  // namespace ostrel
