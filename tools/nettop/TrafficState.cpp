#include "TrafficState.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "Platform/PrivateFolders.hpp"
#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

bool isPrivateDirectory(const std::string& path, uid_t uid) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
           (info.st_mode & 077) == 0;
}

// Ours and closed to everybody else, wherever it is: a folder named by the environment need not
// be private itself. Missing parents are made private too.
bool ensureOwnDirectory(const std::string& path, uid_t uid, bool makeParents) {
    if (makeParents) {
        ostrel::makePrivateFolders(path);
    } else {
        ::mkdir(path.c_str(), 0700);
    }
    return isPrivateDirectory(path, uid);
}

}  // namespace

std::optional<std::string> stateDirectory(const std::string& stateHome, const std::string& runtimeDir,
                                          const std::string& tmpRoot, uid_t uid, std::string& why) {
    const std::pair<std::string, std::string> candidates[] = {
        {stateHome, "/ostrel"}, {runtimeDir, "/ostrel"}, {tmpRoot, "/ostrel-nettop-" + std::to_string(uid)}};
    why.clear();
    for (const auto& [root, leaf] : candidates) {
        if (root.empty() || root.front() != '/') continue;
        const auto directory = root + leaf;
        // Only the user's own state folder may be made with its parents.
        if (ensureOwnDirectory(directory, uid, &root == &candidates[0].first)) return directory;
        why += (why.empty() ? "" : ", ") + directory;
    }
    why = why.empty() ? "no folder to keep it in" : "not a private folder of this user: " + why;
    return std::nullopt;
}

std::string ownRuntimeDir(const std::string& fromEnvironment, const std::string& runRoot, uid_t uid) {
    if (!fromEnvironment.empty()) return fromEnvironment;
    const auto folder = runRoot + "/" + std::to_string(uid);
    return runRoot.empty() || !isPrivateDirectory(folder, uid) ? std::string() : folder;
}

namespace {

std::string toldMarker(const std::string& tmpRoot, uid_t uid) {
    return tmpRoot + "/ostrel-nettop-" + std::to_string(uid) + ".told";
}

}  // namespace

bool tellUnusableStateOnce(const std::string& tmpRoot, uid_t uid) {
    const auto marker = toldMarker(tmpRoot, uid);
    const UniqueFd made(::open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (made.valid() || errno != EEXIST) return true;
    // Another account cannot make a file of this user's: one there now was made by an earlier run.
    struct stat info {};
    return ::lstat(marker.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != uid;
}

void forgetToldUnusableState(const std::string& tmpRoot, uid_t uid) {
    const auto marker = toldMarker(tmpRoot, uid);
    struct stat info {};
    if (::lstat(marker.c_str(), &info) == 0 && info.st_uid == uid) ::unlink(marker.c_str());
}

std::string namespaceFile(const std::string& directory, std::uint64_t key, std::string_view suffix) {
    auto path = directory + "/nettop-" + std::to_string(key);
    path.append(suffix);
    return path;
}

StateFile::StateFile(const std::string& directory, std::uint64_t key, int lockWaitMs)
    : recentPath_(namespaceFile(directory, key, ".state")), walkedPath_(namespaceFile(directory, key, ".sockets")) {
    lockFd_ = ::open(namespaceFile(directory, key, ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) return;
    // A run that holds the lock for long is stuck; waiting for it must end before the sampler
    // gives up on this run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            ::close(lockFd_);
            lockFd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

StateFile::~StateFile() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

StateFile::Load StateFile::load(Part part, TrafficState& state, std::string& why) const {
    // Only a file this program wrote: no link, FIFO or device planted in its place.
    const UniqueFd fd(::open(path(part).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid()) {
        if (errno == ENOENT) return Load::absent;
        why = "the state file cannot be opened";
        return Load::discarded;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "the state file is not a plain file";
        return Load::discarded;
    }
    // The size is checked again while reading: the file may grow meanwhile.
    std::string text;
    bool tooLarge = static_cast<std::uint64_t>(info.st_size) > maxStateBytes;
    if (!tooLarge) {
        text.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t total = 0;
        for (;;) {
            if (total == text.size()) {
                if (total > maxStateBytes) break;
                text.resize(std::min(2 * total, maxStateBytes + 1));
            }
            const ssize_t count = ::read(fd.get(), text.data() + total, text.size() - total);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            total += static_cast<std::size_t>(count);
        }
        tooLarge = total > maxStateBytes;
        text.resize(total);
    }
    if (tooLarge) {
        why = "the state file is larger than " + std::to_string(maxStateBytes) + " bytes";
        return Load::discarded;
    }
    auto parsed = parseState(text);
    if (!parsed) {
        why = "the state file is not in this program's format";
        return Load::discarded;
    }
    state = std::move(*parsed);
    return Load::loaded;
}

bool StateFile::save(Part part, const TrafficState& state) const {
    const auto& target = path(part);
    const auto text = formatState(state);
    std::string temporary = target + ".XXXXXX";
    const int fd = text.size() <= maxStateBytes ? ::mkostemp(temporary.data(), O_CLOEXEC) : -1;
    bool saved = false;
    if (fd >= 0) {
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            written += static_cast<std::size_t>(count);
        }
        const bool closed = ::close(fd) == 0;
        saved = written == text.size() && closed && std::rename(temporary.c_str(), target.c_str()) == 0;
        if (!saved) ::unlink(temporary.c_str());
    }
    if (!saved) ::unlink(target.c_str());
    return saved;
}

}  // namespace ostrel::nettop
