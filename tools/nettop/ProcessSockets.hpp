#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {

struct SocketOwner {
    int pid = 0;
    int fd = -1;

    bool operator==(const SocketOwner&) const = default;
};

// Which process holds which socket, as far as this user may look.
class SocketOwners {
public:
    virtual ~SocketOwners() = default;
    // Whether `owner` still holds the socket: one link read.
    virtual bool holds(const SocketOwner& owner, std::uint64_t inode) = 0;
    // Walks the processes in pid order until every wanted socket is found, so a socket shared
    // after fork goes to its lowest pid. Reports any socket of `noted` it passes on the way.
    virtual std::map<std::uint64_t, SocketOwner> find(const std::set<std::uint64_t>& wanted,
                                                      const std::set<std::uint64_t>& noted) = 0;
    virtual std::string name(int pid) = 0;
};

// procRoot/PID/fd and procRoot/PID/comm. Processes whose descriptors cannot be read (other
// users' processes, processes that exit meanwhile) are skipped.
class ProcSocketOwners final : public SocketOwners {
public:
    explicit ProcSocketOwners(std::string procRoot);
    bool holds(const SocketOwner& owner, std::uint64_t inode) override;
    std::map<std::uint64_t, SocketOwner> find(const std::set<std::uint64_t>& wanted,
                                              const std::set<std::uint64_t>& noted) override;
    std::string name(int pid) override;

private:
    std::string procRoot_;
    // Each process's descriptor folder, opened once a run: a process with many moving sockets
    // costs one path walk, not one for each.
    std::map<int, UniqueFd> descriptors_;
};

}  // namespace ostrel::nettop
