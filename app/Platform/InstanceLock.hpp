#pragma once

#include <string>

#include "Platform/UniqueFd.hpp"

namespace ostrel {

// Keeps one program per database: an exclusive flock on the database file itself, held for the
// life of the process. A lock on a name beside the file could be deleted under a running program,
// and a second one would then start and count every byte again; the file itself cannot be deleted
// or replaced without the holder seeing it (stillAtPath). The kernel releases the lock when the
// process ends, however it ends, so a crashed holder leaves nothing stale behind.
//
// On Linux flock locks live apart from the POSIX record locks that SQLite takes on the same file,
// so neither disturbs the other. But closing any descriptor of the file drops all of the process'
// POSIX locks on it, SQLite's included: the lock's descriptor must stay open while any connection
// to the file is open.
class InstanceLock final {
public:
    enum class State { held, heldElsewhere, failed };

    // Creates the database file's folder and the file itself when missing, then tries the lock
    // without waiting. Files beside it are left alone: a log or shared memory there may belong to
    // a database moved away, which holds its last commits there until its program closes it.
    static InstanceLock acquire(const std::string& databasePath);

    State state() const { return state_; }
    // Why the lock could not be taken, when it failed.
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // Whether the path still names the locked file: false once the file has been deleted, renamed
    // away or replaced by another. True when that cannot be told (a folder on the way unreadable).
    bool stillAtPath() const;
    // Whether the locked file begins with SQLite's header. Read through the lock's own descriptor:
    // closing any other descriptor of the file would drop SQLite's locks on it.
    bool hasDatabaseHeader() const;
    // Whether another process holds a record lock on the locked file, as every SQLite connection
    // to it does while it is open.
    bool lockedByAnotherProcess() const;

private:
    InstanceLock(State state, std::string path, UniqueFd fd, std::string error);

    State state_;
    std::string path_;
    UniqueFd fd_;
    std::string error_;
};

}  // namespace ostrel
