#pragma once

#include <string>

#include "Platform/UniqueFd.hpp"

namespace ostrel {

// Keeps one program per database: an exclusive lock on a file beside it, held for the life of the
// process. The kernel releases it when the process ends, however it ends, so a crashed holder
// leaves nothing stale behind.
class InstanceLock final {
public:
    enum class State { held, heldElsewhere, failed };

    // Creates the lock file's folder when it is missing, then tries the lock without waiting.
    static InstanceLock acquire(const std::string& path);

    State state() const { return state_; }
    // Why the lock could not be taken, when it failed.
    const std::string& error() const { return error_; }

private:
    InstanceLock(State state, UniqueFd fd, std::string error);

    State state_;
    UniqueFd fd_;
    std::string error_;
};

}  // namespace ostrel
