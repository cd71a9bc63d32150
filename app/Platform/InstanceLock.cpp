#include "Platform/InstanceLock.hpp"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace ostrel {

InstanceLock::InstanceLock(State state, UniqueFd fd, std::string error)
    : state_(state), fd_(std::move(fd)), error_(std::move(error)) {}

InstanceLock InstanceLock::acquire(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
        std::filesystem::create_directories(folder, error);
        if (error) return {State::failed, UniqueFd(), folder.string() + ": " + error.message()};
    }
    // Not inherited by the helper tools the program starts, which would hold the lock past its end.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd.valid()) return {State::failed, UniqueFd(), path + ": " + std::strerror(errno)};
    int result;
    do {
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return {State::held, std::move(fd), {}};
    if (errno == EWOULDBLOCK) return {State::heldElsewhere, UniqueFd(), {}};
    return {State::failed, UniqueFd(), path + ": " + std::strerror(errno)};
}

}  // namespace ostrel
