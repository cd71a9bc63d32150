#include "Platform/InterfaceCounterSource.hpp"

#include <ifaddrs.h>
#include <linux/if_link.h>
#include <sys/socket.h>

#include <memory>

namespace ostrel {

std::vector<LinkCounters> GetifaddrsCounterSource::read() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0 || list == nullptr) {
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    std::vector<LinkCounters> counters;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr || entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET ||
            entry->ifa_data == nullptr) {
            continue;
        }
        const auto* stats = static_cast<const rtnl_link_stats*>(entry->ifa_data);
        counters.push_back({entry->ifa_name, stats->rx_bytes, stats->tx_bytes});
    }
    return counters;
}

void FakeInterfaceCounterSource::set(std::vector<LinkCounters> counters) {
    std::lock_guard lock(mutex_);
    counters_ = std::move(counters);
}

std::vector<LinkCounters> FakeInterfaceCounterSource::read() {
    std::lock_guard lock(mutex_);
    ++reads_;
    return counters_;
}

int FakeInterfaceCounterSource::reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

}  // namespace ostrel
