#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/BenchScratch.hpp"

namespace ostrel::bench {

// Open TCP connections for the per-process tool to look through: `count` of them, held by
// programs named "socket-holder" in the near namespace (one per thousand connections), each
// connected to a program of its own in the far namespace that reads whatever arrives. `moving` of
// them, spread over the holders, send 64 bytes every 10 ms; the others stay idle. The programs
// are children of this process, so that no process needs more descriptors than a user may open.
class SocketLoad final {
public:
    SocketLoad(BenchScratch& scratch, const std::string& near, const std::string& far, std::size_t count,
               std::size_t moving);
    ~SocketLoad();
    SocketLoad(const SocketLoad&) = delete;
    SocketLoad& operator=(const SocketLoad&) = delete;

private:
    // Starts `body` as a child that reports on a pipe; its first byte, or none.
    pid_t start(BenchScratch& scratch, int& report,
                void (*body)(const std::string&, std::size_t, std::size_t, std::uint16_t, int), const std::string& ns,
                std::size_t count, std::size_t moving, std::uint16_t port);
    void release();

    std::vector<pid_t> children_;
};

}  // namespace ostrel::bench
