#include "SocketCounters.hpp"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

// Counters in tcp_info that older kernels do not send.
constexpr std::size_t receivedNeeded = offsetof(tcp_info, tcpi_bytes_received) + sizeof(__u64);
constexpr std::size_t segmentsNeeded = offsetof(tcp_info, tcpi_segs_in) + sizeof(__u32);
constexpr std::size_t sentNeeded = offsetof(tcp_info, tcpi_bytes_sent) + sizeof(__u64);

constexpr std::uint64_t linkHeader = 14;  // Ethernet, as the interface counters count it

bool isLoopback(std::uint8_t family, const __be32* address) {
    if (family == AF_INET) return (ntohl(address[0]) >> 24) == 127;
    if (address[0] != 0 || address[1] != 0) return false;
    if (address[2] == 0) return ntohl(address[3]) == 1;
    return address[2] == htonl(0xffff) && (ntohl(address[3]) >> 24) == 127;
}

bool carriesIpv4(std::uint8_t family, const __be32* address) {
    return family == AF_INET || (address[0] == 0 && address[1] == 0 && address[2] == htonl(0xffff));
}

}  // namespace

std::optional<SocketCounters> readSocketMessage(const nlmsghdr* header) {
    // The older request form answers with its own message type.
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY && header->nlmsg_type != TCPDIAG_GETSOCK) return std::nullopt;
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
    inet_diag_msg message;
    std::memcpy(&message, reinterpret_cast<const char*>(header) + NLMSG_HDRLEN, sizeof message);

    SocketCounters counters;
    counters.inode = message.idiag_inode;
    counters.cookie = static_cast<std::uint64_t>(message.id.idiag_cookie[0]) |
                      (static_cast<std::uint64_t>(message.id.idiag_cookie[1]) << 32);
    auto& address = counters.address;
    address.family = message.idiag_family;
    address.sourcePort = message.id.idiag_sport;
    address.destinationPort = message.id.idiag_dport;
    address.interface = message.id.idiag_if;
    std::memcpy(address.source.data(), message.id.idiag_src, sizeof message.id.idiag_src);
    std::memcpy(address.destination.data(), message.id.idiag_dst, sizeof message.id.idiag_dst);
    const std::size_t addressSize = message.idiag_family == AF_INET ? 4 : 16;
    // A connection to one of this machine's own addresses runs over loopback with that address
    // at both ends.
    counters.local = isLoopback(message.idiag_family, message.id.idiag_dst) ||
                     std::memcmp(message.id.idiag_src, message.id.idiag_dst, addressSize) == 0;
    const std::uint64_t segmentHeaders =
        linkHeader + (carriesIpv4(message.idiag_family, message.id.idiag_dst) ? 20 : 40) + 20;

    auto length = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof(inet_diag_msg)));
    // The attributes follow the aligned message.
    auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(header) + NLMSG_HDRLEN +
                                                      NLMSG_ALIGN(sizeof(inet_diag_msg)));
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const std::size_t size = RTA_PAYLOAD(attribute);
        if (attribute->rta_type != INET_DIAG_INFO || size < receivedNeeded) continue;
        tcp_info info{};
        std::memcpy(&info, RTA_DATA(attribute), std::min(size, sizeof info));
        counters.bytesIn = info.tcpi_bytes_received;
        counters.bytesOut = size >= sentNeeded ? info.tcpi_bytes_sent : info.tcpi_bytes_acked;
        if (size >= segmentsNeeded) {
            const std::uint64_t perSegment = segmentHeaders + ((info.tcpi_options & TCPI_OPT_TIMESTAMPS) ? 12 : 0);
            counters.bytesIn += perSegment * info.tcpi_segs_in;
            counters.bytesOut += perSegment * info.tcpi_segs_out;
            counters.segmentsOut = info.tcpi_segs_out;
        }
        return counters;
    }
    return std::nullopt;
}

namespace {

// Every state a socket with counters can carry bytes in. Listening sockets move nothing, and
// leaving them out skips the kernel's walk of its listening table; time-wait and request
// sockets have no counters.
// The kernel's state numbers (netinet/tcp.h cannot be included beside linux/tcp.h).
enum TcpState : unsigned {
    established = 1,
    synSent,
    synReceived,
    finWait1,
    finWait2,
    timeWait,
    closed,
    closeWait,
    lastAck,
    listening,
    closing,
    newSynReceived,
    boundInactive,  // closed with its descriptor still open: bound before it connected
};
constexpr std::uint32_t dataStates = (1u << established) | (1u << synSent) | (1u << synReceived) | (1u << finWait1) |
                                     (1u << finWait2) | (1u << closed) | (1u << closeWait) | (1u << lastAck) |
                                     (1u << closing) | (1u << boundInactive);

// Heap storage is aligned for nlmsghdr; one page-sized read takes about 80 sockets.
constexpr std::size_t receiveBytes = 1 << 15;

bool receiveDump(int fd, std::uint32_t sequence, std::vector<SocketCounters>& out) {
    std::vector<char> buffer(receiveBytes);
    while (true) {
        const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (received < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (received == 0) return false;
        auto remaining = static_cast<unsigned int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_seq != sequence) continue;
            if (header->nlmsg_type == NLMSG_DONE) return true;
            if (header->nlmsg_type == NLMSG_ERROR) return false;
            if (auto counters = readSocketMessage(header)) out.push_back(*counters);
        }
    }
}

template <typename Query>
bool send(int fd, const Query& query) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, &query, sizeof query, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) >= 0;
}

// The older request form dumps IPv4 and IPv6 in one pass over the kernel's connection table,
// which costs the same whatever it holds; the per-family form would walk it twice.
bool dumpBothFamilies(int fd, std::vector<SocketCounters>& out) {
    struct {
        nlmsghdr header;
        inet_diag_req request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = TCPDIAG_GETSOCK;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.header.nlmsg_seq = 1;
    query.request.idiag_family = AF_UNSPEC;
    query.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    query.request.idiag_states = dataStates;
    return send(fd, query) && receiveDump(fd, 1, out);
}

bool dumpFamily(int fd, std::uint8_t family, std::uint32_t sequence, std::vector<SocketCounters>& out) {
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.header.nlmsg_seq = sequence;
    query.request.sdiag_family = family;
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    query.request.idiag_states = dataStates;
    return send(fd, query) && receiveDump(fd, sequence, out);
}

// Requests for one socket each, sent together; each is answered by the socket or by an error for
// one that is gone.
bool askBatch(int fd, const SocketCounters* which, std::size_t count, std::vector<SocketCounters>& out) {
    struct Request {
        nlmsghdr header;
        inet_diag_req_v2 request;
    };
    static_assert(sizeof(Request) == NLMSG_SPACE(sizeof(inet_diag_req_v2)));
    std::vector<Request> requests(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto& [header, request] = requests[i];
        header.nlmsg_len = sizeof(Request);
        header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        header.nlmsg_flags = NLM_F_REQUEST;
        header.nlmsg_seq = static_cast<std::uint32_t>(i + 1);
        const auto& address = which[i].address;
        request.sdiag_family = address.family;
        request.sdiag_protocol = IPPROTO_TCP;
        request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
        request.idiag_states = ~0u;
        request.id.idiag_sport = address.sourcePort;
        request.id.idiag_dport = address.destinationPort;
        request.id.idiag_if = address.interface;
        std::memcpy(request.id.idiag_src, address.source.data(), sizeof request.id.idiag_src);
        std::memcpy(request.id.idiag_dst, address.destination.data(), sizeof request.id.idiag_dst);
        // A socket that closed and whose ports were taken again answers as gone.
        request.id.idiag_cookie[0] = static_cast<std::uint32_t>(which[i].cookie);
        request.id.idiag_cookie[1] = static_cast<std::uint32_t>(which[i].cookie >> 32);
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, requests.data(), requests.size() * sizeof(Request), 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return false;
    }
    // Each answer comes as a datagram of its own: as many as are there in one call.
    constexpr std::size_t slotBytes = 2048;
    std::vector<char> buffer(count * slotBytes);
    std::vector<iovec> slots(count);
    std::vector<mmsghdr> messages(count);
    for (std::size_t answered = 0; answered < count;) {
        const auto waiting = count - answered;
        for (std::size_t i = 0; i < waiting; ++i) {
            slots[i] = {buffer.data() + i * slotBytes, slotBytes};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &slots[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int received =
            ::recvmmsg(fd, messages.data(), static_cast<unsigned int>(waiting), MSG_WAITFORONE, nullptr);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return false;
        for (int m = 0; m < received; ++m) {
            auto remaining = messages[static_cast<std::size_t>(m)].msg_len;
            for (auto* header = reinterpret_cast<nlmsghdr*>(slots[static_cast<std::size_t>(m)].iov_base);
                 NLMSG_OK(header, remaining); header = NLMSG_NEXT(header, remaining)) {
                if (header->nlmsg_seq == 0 || header->nlmsg_seq > count) continue;
                ++answered;
                if (header->nlmsg_type == NLMSG_ERROR) continue;
                if (auto counters = readSocketMessage(header)) out.push_back(*counters);
            }
        }
    }
    return true;
}

}  // namespace

std::optional<std::vector<SocketCounters>> askTcpSockets(const std::vector<SocketCounters>& which) {
    std::vector<SocketCounters> found;
    if (which.empty()) return found;
    const UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!fd.valid()) return std::nullopt;
    // The kernel drops an answer that finds the receive buffer full; each one takes about a
    // kilobyte of it, so a batch stays far below the smallest buffer. A lost answer ends the
    // wait for it instead of holding the run.
    constexpr std::size_t batch = 64;
    const timeval wait{0, 500000};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    found.reserve(which.size());
    for (std::size_t first = 0; first < which.size(); first += batch) {
        if (!askBatch(fd.get(), which.data() + first, std::min(batch, which.size() - first), found)) {
            return std::nullopt;
        }
    }
    return found;
}

std::optional<std::vector<SocketCounters>> readTcpSocketCounters() {
    const UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!fd.valid()) return std::nullopt;
    std::vector<SocketCounters> sockets;
    // Somewhat more than the sockets there are, so that the list is not copied as it grows.
    sockets.reserve(1024);
    if (dumpBothFamilies(fd.get(), sockets)) return sockets;
    sockets.clear();
    const bool ipv4 = dumpFamily(fd.get(), AF_INET, 2, sockets);
    // A kernel without IPv6 still answers for IPv4.
    const bool ipv6 = dumpFamily(fd.get(), AF_INET6, 3, sockets);
    if (!ipv4 && !ipv6) return std::nullopt;
    return sockets;
}

}  // namespace ostrel::nettop
