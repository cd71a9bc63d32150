#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace ostrel {

// One interface's cumulative byte counters as the kernel's link statistics give them.
struct LinkCounters {
    std::string name;
    std::uint32_t rxBytes = 0;
    std::uint32_t txBytes = 0;

    bool operator==(const LinkCounters&) const = default;
};

// The per-interface byte counters of the machine, in the order the system lists them.
// Empty when they cannot be read.
class InterfaceCounterSource {
public:
    virtual ~InterfaceCounterSource() = default;
    virtual std::vector<LinkCounters> read() = 0;
};

// getifaddrs: the link-level (AF_PACKET) entries that carry struct rtnl_link_stats. The entries
// belong to the network namespace of the calling thread.
class GetifaddrsCounterSource final : public InterfaceCounterSource {
public:
    std::vector<LinkCounters> read() override;
};

// Hands back whatever the test set last.
class FakeInterfaceCounterSource final : public InterfaceCounterSource {
public:
    void set(std::vector<LinkCounters> counters);
    std::vector<LinkCounters> read() override;
    int reads() const;

private:
    mutable std::mutex mutex_;
    std::vector<LinkCounters> counters_;
    int reads_ = 0;
};

}  // namespace ostrel
