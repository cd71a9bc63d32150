#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// One application entry of an XDG desktop file.
struct DesktopEntry {
    std::string id;                   // the desktop-file id without ".desktop", e.g. "org.gnome.Maps"
    std::string path;                 // the desktop file
    std::optional<std::string> name;  // Name, localized when the file has the user's language
    std::string execProgram;          // the program Exec starts, past any "env VAR=..." prefix
    std::optional<std::string> icon;  // Icon: an icon-theme name or an image file's absolute path
    // Terminal=true or NoDisplay=true: a command-line program or a helper, not an application of
    // its own, so only a process launched from this very entry belongs to it.
    bool launchOnly = false;
};

// At most `limit` bytes of a regular file; none when it is missing, unreadable or not a regular
// file. Paths and contents come from other processes, so a FIFO, a device or a huge file must
// neither block nor flood the caller.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit);

// Parses one desktop file; none when it is unreadable, not an application or hidden.
std::optional<DesktopEntry> parseDesktopFile(const std::string& path, const std::string& id, const std::string& locale);

// The installed applications of the XDG data folders, first folder winning for a repeated id.
// `refresh()` rescans when one of the applications folders changed; the look-ups read the last
// scan, so a caller checks the folders once per batch of look-ups rather than per look-up.
class DesktopEntries final {
public:
    DesktopEntries(std::vector<std::string> dataDirs, std::string locale);

    // $XDG_DATA_HOME, then $XDG_DATA_DIRS, with the standard defaults.
    static std::vector<std::string> dataDirsFromEnvironment();
    // LC_ALL, else LC_MESSAGES, else LANG.
    static std::string localeFromEnvironment();

    void refresh();
    // Changes whenever refresh() read the folders again.
    std::uint64_t generation() const { return generation_; }

    std::optional<DesktopEntry> byId(const std::string& id) const;
    // An entry for a desktop file given by path, also one outside the data folders.
    std::optional<DesktopEntry> byPath(const std::string& path) const;
    std::optional<DesktopEntry> firstWithIdPrefix(const std::string& prefix) const;
    // Entries whose Exec program has this file name, in precedence order; launch-only entries
    // are left out.
    std::vector<DesktopEntry> byProgramName(const std::string& fileName) const;

private:
    std::vector<std::string> dataDirs_;
    std::string locale_;
    std::map<std::string, long long> scannedDirs_;  // applications folder -> mtime in ns
    bool scanned_ = false;
    bool racy_ = false;
    std::uint64_t generation_ = 0;
    std::vector<DesktopEntry> entries_;  // precedence order
    std::map<std::string, std::size_t> byId_;
    std::map<std::string, std::size_t> byPath_;
    std::multimap<std::string, std::size_t> byProgramName_;
};

}  // namespace ostrel
