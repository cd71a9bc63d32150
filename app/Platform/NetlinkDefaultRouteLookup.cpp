#include "Platform/NetlinkDefaultRouteLookup.hpp"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Platform/UniqueFd.hpp"

namespace ostrel {
namespace {

// Public addresses used only as route-lookup keys; nothing is sent to them.
constexpr const char* kPublicV4 = "8.8.8.8";
constexpr const char* kPublicV6 = "2001:4860:4860::8888";

struct KernelAnswer {
    bool answered = false;  // false: rtnetlink could not be asked
    std::optional<std::string> interface;
};

KernelAnswer askKernel(int family, const char* address) {
    unsigned char destination[16] = {};
    if (::inet_pton(family, address, destination) != 1) return {};
    const std::size_t addressLength = family == AF_INET ? 4 : 16;

    const UniqueFd socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!socket.valid()) return {};
    const timeval timeout{1, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[64];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = static_cast<unsigned char>(family);
    request.route.rtm_dst_len = static_cast<unsigned char>(addressLength * 8);
    auto* attribute =
        reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) + NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = RTA_DST;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(addressLength));
    std::memcpy(RTA_DATA(attribute), destination, addressLength);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.get(), &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return {};
    }

    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t received = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return {};
        auto remaining = static_cast<unsigned int>(received);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_seq != request.header.nlmsg_seq) continue;
            // An error here is the kernel's answer: no route, or an unreachable or prohibit route.
            if (message->nlmsg_type == NLMSG_ERROR || message->nlmsg_type == NLMSG_DONE) return {true, {}};
            if (message->nlmsg_type != RTM_NEWROUTE) continue;
            const auto* route = reinterpret_cast<const rtmsg*>(reinterpret_cast<const char*>(message) + NLMSG_HDRLEN);
            if (route->rtm_type != RTN_UNICAST) return {true, {}};  // a blackhole, for one
            int length = static_cast<int>(RTM_PAYLOAD(message));
            for (const auto* item = RTM_RTA(route); RTA_OK(item, length); item = RTA_NEXT(item, length)) {
                if (item->rta_type != RTA_OIF || RTA_PAYLOAD(item) < sizeof(int)) continue;
                int index = 0;
                std::memcpy(&index, RTA_DATA(item), sizeof index);
                char name[IF_NAMESIZE] = {};
                if (index > 0 && ::if_indextoname(static_cast<unsigned>(index), name) != nullptr) {
                    return {true, std::string(name)};
                }
            }
            return {true, {}};
        }
    }
}

}  // namespace

std::optional<std::string> NetlinkDefaultRouteLookup::defaultRouteInterface() {
    const KernelAnswer v4 = askKernel(AF_INET, kPublicV4);
    if (v4.interface) return v4.interface;
    const KernelAnswer v6 = askKernel(AF_INET6, kPublicV6);
    if (v6.interface || v4.answered || v6.answered) return v6.interface;

    std::FILE* file = std::fopen(procNetRoutePath_.c_str(), "re");
    if (file == nullptr) return std::nullopt;
    std::string table;
    char chunk[4096];
    while (const std::size_t count = std::fread(chunk, 1, sizeof chunk, file)) table.append(chunk, count);
    std::fclose(file);
    return parseProcNetRoute(table);
}

std::optional<std::string> NetlinkDefaultRouteLookup::parseProcNetRoute(const std::string& table) {
    std::optional<std::string> best;
    unsigned long bestMetric = 0;
    std::size_t lineStart = table.find('\n');  // past the column titles
    while (lineStart != std::string::npos && lineStart < table.size()) {
        const std::size_t lineEnd = table.find('\n', lineStart + 1);
        const std::string line =
            table.substr(lineStart + 1, lineEnd == std::string::npos ? std::string::npos : lineEnd - lineStart - 1);
        lineStart = lineEnd;
        char name[64] = {};
        unsigned long destination = 0, gateway = 0, flags = 0, references = 0, use = 0, metric = 0, mask = 0;
        if (std::sscanf(line.c_str(), "%63s %lx %lx %lx %lu %lu %lu %lx", name, &destination, &gateway, &flags,
                        &references, &use, &metric, &mask) != 8) {
            continue;
        }
        // Reject routes (blackhole, unreachable, prohibit) have no interface: the kernel shows "*".
        if (destination != 0 || mask != 0 || (flags & RTF_UP) == 0 || (flags & RTF_REJECT) != 0 ||
            std::strcmp(name, "*") == 0) {
            continue;
        }
        if (!best || metric < bestMetric) {
            best = name;
            bestMetric = metric;
        }
    }
    return best;
}

}  // namespace ostrel
