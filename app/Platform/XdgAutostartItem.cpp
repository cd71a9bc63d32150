#include "Platform/XdgAutostartItem.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Platform/PrivateFolders.hpp"
#include "Platform/UniqueFd.hpp"
#include "Platform/Utf8.hpp"
#include "Platform/XdgFolders.hpp"

namespace ostrel {
namespace {

[[noreturn]] void fail(const char* action, const std::string& path, int error) {
    throw LoginItemError(std::string("Could not ") + action + " " + path + ": " + std::strerror(error));
}

// Missing folders are made private to the user, as the XDG base directory rules ask.
void makeFolders(const std::string& dir) {
    if (const int error = makePrivateFolders(dir); error != 0) fail("create", dir, error);
}

// 0, or the errno of the first failing step.
int writeFile(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return errno;
        written += static_cast<std::size_t>(count);
    }
    return ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0 ? 0 : errno;
}

}  // namespace

XdgAutostartItem::XdgAutostartItem(std::string autostartDir, std::string executablePath)
    : autostartDir_(std::move(autostartDir)), executablePath_(std::move(executablePath)) {}

std::string XdgAutostartItem::autostartDirFromEnvironment() {
    const auto configHome = XdgFolders().configHome();
    return configHome.empty() ? configHome : configHome + "/autostart";
}

std::string XdgAutostartItem::desktopEntryText(const std::string& executablePath) {
    const bool hasControl = std::any_of(executablePath.begin(), executablePath.end(),
                                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    if (executablePath.empty() || executablePath.front() != '/' || hasControl || !isValidUtf8(executablePath)) {
        throw LoginItemError("A desktop entry cannot start the program at " + executablePath);
    }
    // Exec's own quoting: the whole path in double quotes, with '"', '`', '$' and '\' escaped by
    // a backslash, and '%' doubled so that it is no field code.
    std::string quoted = "\"";
    for (const char c : executablePath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
        if (c == '%') quoted.push_back('%');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    // Then the value's string escapes on top, which double every backslash.
    std::string exec;
    for (const char c : quoted) {
        if (c == '\\') exec.push_back('\\');
        exec.push_back(c);
    }
    return "[Desktop Entry]\nType=Application\nName=Ostrel\nExec=" + exec + "\nTerminal=false\n";
}

std::string XdgAutostartItem::filePath() const {
    return autostartDir_ + "/" + fileName;
}

void XdgAutostartItem::registerItem() {
    const auto text = desktopEntryText(executablePath_);
    if (autostartDir_.empty())
        throw LoginItemError("No folder for autostart entries: neither XDG_CONFIG_HOME nor HOME is set");
    makeFolders(autostartDir_);
    const auto target = filePath();
    std::string temporary = autostartDir_ + "/." + fileName + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) fail("write", target, errno);
    if (const int error = writeFile(fd.get(), text); error != 0) {
        ::unlink(temporary.c_str());
        fail("write", target, error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("write", target, error);
    }
}

void XdgAutostartItem::unregisterItem() {
    const auto target = filePath();
    if (::unlink(target.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) fail("remove", target, errno);
}

}  // namespace ostrel
