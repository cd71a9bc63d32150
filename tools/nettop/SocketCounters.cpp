#include "SocketCounters.hpp"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace ostrel::nettop {
namespace {

class Fd final {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Counters in tcp_info that older kernels do not send.
constexpr std::size_t tcpInfoNeeded = offsetof(tcp_info, tcpi_bytes_received) + sizeof(tcp_info::tcpi_bytes_received);

void readMessage(const nlmsghdr* header, std::vector<SocketCounters>& out) {
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return;
    inet_diag_msg message;
    std::memcpy(&message, NLMSG_DATA(header), sizeof message);
    if (message.idiag_inode == 0) return;

    SocketCounters counters;
    counters.inode = message.idiag_inode;
    counters.cookie = static_cast<std::uint64_t>(message.id.idiag_cookie[0]) |
                      (static_cast<std::uint64_t>(message.id.idiag_cookie[1]) << 32);
    bool haveInfo = false;
    auto length = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof(inet_diag_msg)));
    // The attributes follow the aligned message.
    auto* attribute =
        reinterpret_cast<rtattr*>(reinterpret_cast<char*>(NLMSG_DATA(header)) + NLMSG_ALIGN(sizeof(inet_diag_msg)));
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type != INET_DIAG_INFO || RTA_PAYLOAD(attribute) < tcpInfoNeeded) continue;
        tcp_info info{};
        std::memcpy(&info, RTA_DATA(attribute), std::min<std::size_t>(RTA_PAYLOAD(attribute), sizeof info));
        counters.bytesReceived = info.tcpi_bytes_received;
        counters.bytesSent = info.tcpi_bytes_acked;
        haveInfo = true;
    }
    if (haveInfo) out.push_back(counters);
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
    query.request.idiag_states = ~0u;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &query, sizeof query, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) return false;

    // Heap storage is aligned for nlmsghdr.
    std::vector<char> buffer(1 << 16);
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
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY) readMessage(header, out);
        }
    }
}

}  // namespace

std::optional<std::vector<SocketCounters>> readTcpSocketCounters() {
    const Fd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (fd.get() < 0) return std::nullopt;
    std::vector<SocketCounters> sockets;
    const bool ipv4 = dumpFamily(fd.get(), AF_INET, 1, sockets);
    // A kernel without IPv6 still answers for IPv4.
    const bool ipv6 = dumpFamily(fd.get(), AF_INET6, 2, sockets);
    if (!ipv4 && !ipv6) return std::nullopt;
    return sockets;
}

}  // namespace ostrel::nettop
