#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace ostrel::nettop {

struct ProcessSockets {
    std::map<std::uint64_t, int> ownerBySocketInode;  // a socket shared after fork counts once
    std::map<int, std::string> nameByPid;             // /proc/PID/comm
};

// Walks procRoot/PID/fd for socket links; processes whose descriptors cannot be read (other
// users' processes, processes that exit meanwhile) are skipped.
ProcessSockets readProcessSockets(const std::string& procRoot);

}  // namespace ostrel::nettop
