#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::testing {

// Two network namespaces made for one test and joined by a veth pair: "ostv0" (10.231.0.1) in
// the near one, "ostv1" (10.231.0.2) in the far one. IPv6 is off and the neighbours are static,
// so the only frames on the pair are the ones the test sends.
class VethPair final {
public:
    static constexpr const char* nearInterface = "ostv0";
    static constexpr const char* farInterface = "ostv1";
    // Ethernet, IPv4 and UDP headers of every datagram sent across.
    static constexpr std::uint64_t udpFrameOverhead = 14 + 20 + 8;

    // Nothing, with the reason in `whyNot`, when this machine cannot make namespaces.
    static std::unique_ptr<VethPair> create(std::string& whyNot);
    ~VethPair();
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;

    const std::string& nearNamespace() const { return near_; }
    const std::string& farNamespace() const { return far_; }

    // Runs an `ip` command inside a namespace; true on success.
    bool ip(const std::string& ns, const std::string& arguments) const;

    // Sends `count` datagrams of `payload` bytes across and waits until all arrived; returns the
    // bytes the pair carried (frames included). `fromFar` picks the direction.
    std::uint64_t sendUdp(bool fromFar, int count, int payload) const;

private:
    VethPair(std::string near, std::string far) : near_(std::move(near)), far_(std::move(far)) {}
    std::string near_;
    std::string far_;
};

// Moves the calling thread into a namespace for the scope's life. Threads and processes it
// starts meanwhile stay in that namespace.
class NetnsScope final {
public:
    explicit NetnsScope(const std::string& ns);
    ~NetnsScope();
    NetnsScope(const NetnsScope&) = delete;
    NetnsScope& operator=(const NetnsScope&) = delete;

private:
    int original_ = -1;
};

}  // namespace ostrel::testing
