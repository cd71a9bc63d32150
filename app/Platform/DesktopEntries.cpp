#include "Platform/DesktopEntries.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <utility>

#include "Platform/UniqueFd.hpp"
#include "Platform/XdgFolders.hpp"

namespace ostrel {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view desktopSuffix = ".desktop";
constexpr std::size_t desktopFileLimit = 1u << 20;

std::string trimmedAscii(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

// The string escapes of desktop-file values (\s \n \t \r \\).
std::string unescapedValue(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        switch (const char next = value[++i]) {
            case 's':
                out.push_back(' ');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '\\':
                out.push_back('\\');
                break;
            // Other escapes belong to Exec's own quoting.
            default:
                out.push_back('\\'), out.push_back(next);
                break;
        }
    }
    return out;
}

// Exec's arguments: blank-separated, double quotes group and '\' escapes inside them.
std::vector<std::string> execArguments(std::string_view exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                current.push_back(exec[++i]);
            } else if (c == '"') {
                quoted = false;
            } else {
                current.push_back(c);
            }
        } else if (c == ' ' || c == '\t') {
            if (inArgument) arguments.push_back(std::exchange(current, {}));
            inArgument = false;
        } else {
            inArgument = true;
            if (c == '"') {
                quoted = true;
            } else {
                current.push_back(c);
            }
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

std::string programOf(std::string_view exec) {
    const auto arguments = execArguments(exec);
    std::size_t i = 0;
    if (i < arguments.size() && fs::path(arguments[i]).filename() == "env") {
        ++i;
        while (i < arguments.size() && (arguments[i].find('=') != std::string::npos || arguments[i].starts_with("-"))) {
            const bool takesValue = arguments[i] == "-u" || arguments[i] == "-C" || arguments[i] == "-S";
            i += takesValue ? 2 : 1;
        }
    }
    if (i >= arguments.size()) return {};
    // A shell's real program is inside its script, so a shell entry would claim every shell.
    const auto name = fs::path(arguments[i]).filename().string();
    if (name == "sh" || name == "bash" || name == "dash" || name == "zsh") return {};
    return arguments[i];
}

// Keys to try for a localized value, most specific first: lang_COUNTRY@MODIFIER, lang_COUNTRY,
// lang@MODIFIER, lang.
std::vector<std::string> localeKeys(const std::string& locale) {
    std::string lang = locale;
    std::string modifier;
    if (const auto at = lang.find('@'); at != std::string::npos) {
        modifier = lang.substr(at + 1);
        lang.erase(at);
    }
    if (const auto dot = lang.find('.'); dot != std::string::npos) lang.erase(dot);
    std::string country;
    if (const auto underscore = lang.find('_'); underscore != std::string::npos) {
        country = lang.substr(underscore + 1);
        lang.erase(underscore);
    }
    std::vector<std::string> keys;
    if (lang.empty() || lang == "C" || lang == "POSIX") return keys;
    if (!country.empty() && !modifier.empty()) keys.push_back(lang + "_" + country + "@" + modifier);
    if (!country.empty()) keys.push_back(lang + "_" + country);
    if (!modifier.empty()) keys.push_back(lang + "@" + modifier);
    keys.push_back(lang);
    return keys;
}

constexpr long long racyWindowNs = 20'000'000;

long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long mtimeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return -1;
    return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

std::string idFromRelativePath(const fs::path& relative) {
    std::string id = relative.generic_string();
    std::replace(id.begin(), id.end(), '/', '-');
    return id.substr(0, id.size() - desktopSuffix.size());
}

}  // namespace

std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string content;
    char buffer[16384];
    while (content.size() < limit) {
        const ssize_t count = ::read(fd.get(), buffer, std::min(sizeof buffer, limit - content.size()));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) break;
        content.append(buffer, static_cast<std::size_t>(count));
    }
    return content;
}

std::optional<DesktopEntry> parseDesktopFile(const std::string& path, const std::string& id,
                                             const std::string& locale) {
    const auto text = readRegularFile(path, desktopFileLimit);
    if (!text) return std::nullopt;
    std::istringstream file(*text);
    std::map<std::string, std::string> values;
    bool inMainGroup = false;
    for (std::string line; std::getline(file, line);) {
        const auto content = trimmedAscii(line);
        if (content.empty() || content.front() == '#') continue;
        if (content.front() == '[') {
            inMainGroup = content == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const auto equals = content.find('=');
        if (equals == std::string::npos) continue;
        auto key = trimmedAscii(std::string_view(content).substr(0, equals));
        // The first occurrence of a key counts.
        values.emplace(std::move(key), trimmedAscii(std::string_view(content).substr(equals + 1)));
    }
    const auto value = [&](const std::string& key) -> std::optional<std::string> {
        const auto found = values.find(key);
        if (found == values.end()) return std::nullopt;
        return unescapedValue(found->second);
    };
    if (value("Type") != "Application" || value("Hidden") == "true") return std::nullopt;

    DesktopEntry entry;
    entry.id = id;
    entry.path = path;
    for (const auto& key : localeKeys(locale)) {
        if ((entry.name = value("Name[" + key + "]"))) break;
    }
    if (!entry.name) entry.name = value("Name");
    entry.launchOnly = value("Terminal") == "true" || value("NoDisplay") == "true";
    if (const auto exec = values.find("Exec"); exec != values.end())
        entry.execProgram = programOf(unescapedValue(exec->second));
    if (auto icon = value("Icon"); icon && !icon->empty()) entry.icon = std::move(icon);
    return entry;
}

DesktopEntries::DesktopEntries(std::vector<std::string> dataDirs, std::string locale)
    : dataDirs_(std::move(dataDirs)), locale_(std::move(locale)) {}

std::vector<std::string> DesktopEntries::dataDirsFromEnvironment() {
    const XdgFolders xdg;
    std::vector<std::string> dirs;
    if (auto dataHome = xdg.dataHome(); !dataHome.empty()) dirs.push_back(std::move(dataHome));
    for (auto& dir : xdg.dataDirs()) dirs.push_back(std::move(dir));
    return dirs;
}

std::string DesktopEntries::localeFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

void DesktopEntries::refresh() {
    if (scanned_ && !racy_) {
        bool changed = false;
        for (const auto& [dir, mtime] : scannedDirs_) {
            if (mtimeOf(dir) != mtime) {
                changed = true;
                break;
            }
        }
        // A data folder whose applications folder appeared since the last scan.
        for (const auto& dataDir : dataDirs_) {
            if (!changed && !scannedDirs_.count(dataDir + "/applications") && mtimeOf(dataDir + "/applications") >= 0) {
                changed = true;
            }
        }
        if (!changed) return;
    }
    scanned_ = true;
    ++generation_;
    const auto scanStart = nowNs();
    scannedDirs_.clear();
    entries_.clear();
    byId_.clear();
    byPath_.clear();
    byProgramName_.clear();
    std::set<std::string> seenIds;
    for (const auto& dataDir : dataDirs_) {
        const fs::path root = fs::path(dataDir) / "applications";
        std::error_code error;
        if (!fs::is_directory(root, error)) continue;
        scannedDirs_[root.string()] = mtimeOf(root.string());
        std::vector<std::pair<std::string, std::string>> found;  // id, path
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            if (it->is_directory(error)) {
                scannedDirs_[it->path().string()] = mtimeOf(it->path().string());
                continue;
            }
            const auto path = it->path();
            if (path.extension() != desktopSuffix) continue;
            found.emplace_back(idFromRelativePath(path.lexically_relative(root)), path.string());
        }
        std::sort(found.begin(), found.end());
        for (const auto& [id, path] : found) {
            // A hidden or broken file still shadows the same id in later folders.
            if (!seenIds.insert(id).second) continue;
            auto entry = parseDesktopFile(path, id, locale_);
            if (!entry) continue;
            const auto index = entries_.size();
            byId_[id] = index;
            byPath_[path] = index;
            if (!entry->execProgram.empty() && !entry->launchOnly) {
                byProgramName_.emplace(fs::path(entry->execProgram).filename().string(), index);
            }
            entries_.push_back(std::move(*entry));
        }
    }
    // File times advance in clock ticks: a folder changed in the tick of the scan may change
    // again without a new time, so such a scan is repeated on the next refresh.
    racy_ = false;
    for (const auto& [dir, mtime] : scannedDirs_) racy_ = racy_ || mtime + racyWindowNs >= scanStart;
}

std::optional<DesktopEntry> DesktopEntries::byId(const std::string& id) const {
    const auto found = byId_.find(id);
    if (found == byId_.end()) return std::nullopt;
    return entries_[found->second];
}

std::optional<DesktopEntry> DesktopEntries::byPath(const std::string& path) const {
    if (const auto found = byPath_.find(path); found != byPath_.end()) return entries_[found->second];
    const fs::path file(path);
    if (!file.is_absolute() || file.extension() != desktopSuffix) return std::nullopt;
    return parseDesktopFile(path, file.stem().string(), locale_);
}

std::optional<DesktopEntry> DesktopEntries::firstWithIdPrefix(const std::string& prefix) const {
    const auto it = byId_.lower_bound(prefix);
    if (it == byId_.end() || !it->first.starts_with(prefix)) return std::nullopt;
    return entries_[it->second];
}

std::vector<DesktopEntry> DesktopEntries::byProgramName(const std::string& fileName) const {
    std::vector<std::size_t> indices;
    const auto [begin, end] = byProgramName_.equal_range(fileName);
    for (auto it = begin; it != end; ++it) indices.push_back(it->second);
    std::sort(indices.begin(), indices.end());
    std::vector<DesktopEntry> out;
    for (const auto index : indices) out.push_back(entries_[index]);
    return out;
}

}  // namespace ostrel
