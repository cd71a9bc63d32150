#include "Platform/InstanceLock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace ostrel {

InstanceLock::InstanceLock(State state, std::string path, UniqueFd fd, std::string error)
    : state_(state), path_(std::move(path)), fd_(std::move(fd)), error_(std::move(error)) {}

InstanceLock InstanceLock::acquire(const std::string& databasePath) {
    const auto failed = [&](const std::string& what) { return InstanceLock(State::failed, databasePath, {}, what); };
    const auto folder = std::filesystem::path(databasePath).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
        std::filesystem::create_directories(folder, error);
        if (error) return failed(folder.string() + ": " + error.message());
    }
    // Not inherited by the helper tools the program starts, which would hold the lock past its
    // end. The user's alone: SQLite gives its side files the same mode.
    UniqueFd fd(::open(databasePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd.valid()) return failed(databasePath + ": " + std::strerror(errno));
    int result;
    do {
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) return {State::heldElsewhere, databasePath, {}, {}};
    if (result != 0) return failed(databasePath + ": " + std::strerror(errno));
    return {State::held, databasePath, std::move(fd), {}};
}

bool InstanceLock::stillAtPath() const {
    struct stat held {
    }, named{};
    if (!fd_.valid() || ::fstat(fd_.get(), &held) != 0) return true;
    if (held.st_nlink == 0) return false;
    if (::stat(path_.c_str(), &named) != 0) return errno != ENOENT && errno != ENOTDIR;
    return named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

bool InstanceLock::hasDatabaseHeader() const {
    static constexpr char magic[] = "SQLite format 3";  // with its NUL: 16 bytes
    char header[sizeof magic] = {};
    if (!fd_.valid()) return false;
    ssize_t got;
    do {
        got = ::pread(fd_.get(), header, sizeof header, 0);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof header) && std::memcmp(header, magic, sizeof magic) == 0;
}

bool InstanceLock::lockedByAnotherProcess() const {
    // The process' own record locks never conflict with a request of its own, so only others'
    // are reported.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file, and past its end, where SQLite's lock bytes lie
    if (!fd_.valid() || ::fcntl(fd_.get(), F_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

}  // namespace ostrel
