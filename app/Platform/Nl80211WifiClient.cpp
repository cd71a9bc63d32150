#include "Platform/Nl80211WifiClient.hpp"

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <memory>
#include <string_view>

#include "Platform/Utf8.hpp"

namespace ostrel {
namespace {

struct SocketDeleter {
    void operator()(nl_sock* socket) const { nl_socket_free(socket); }
};
struct MessageDeleter {
    void operator()(nl_msg* message) const { nlmsg_free(message); }
};

int collectInterface(nl_msg* message, void* arg) {
    auto& out = *static_cast<std::vector<WifiInterface>*>(arg);
    auto* header = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(message)));
    nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
    if (nla_parse(attributes, NL80211_ATTR_MAX, genlmsg_attrdata(header, 0), genlmsg_attrlen(header, 0), nullptr) < 0) {
        return NL_SKIP;
    }
    if (!attributes[NL80211_ATTR_IFNAME] || !attributes[NL80211_ATTR_IFTYPE]) return NL_SKIP;
    if (nla_get_u32(attributes[NL80211_ATTR_IFTYPE]) != NL80211_IFTYPE_STATION) return NL_SKIP;

    WifiInterface wifi;
    wifi.interfaceName = nla_get_string(attributes[NL80211_ATTR_IFNAME]);
    if (const auto* ssid = attributes[NL80211_ATTR_SSID]) {
        const std::string_view bytes(static_cast<const char*>(nla_data(ssid)), static_cast<std::size_t>(nla_len(ssid)));
        // Names that are not text have no name to show.
        if (!bytes.empty() && isValidUtf8(bytes)) wifi.ssid = std::string(bytes);
    }
    out.push_back(std::move(wifi));
    return NL_OK;
}

}  // namespace

std::vector<WifiInterface> Nl80211WifiClient::interfaces() {
    std::unique_ptr<nl_sock, SocketDeleter> socket(nl_socket_alloc());
    if (!socket || genl_connect(socket.get()) < 0) return {};
    const int family = genl_ctrl_resolve(socket.get(), "nl80211");
    if (family < 0) return {};

    std::unique_ptr<nl_msg, MessageDeleter> message(nlmsg_alloc());
    if (!message ||
        !genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_DUMP, NL80211_CMD_GET_INTERFACE, 0)) {
        return {};
    }
    std::vector<WifiInterface> found;
    if (nl_socket_modify_cb(socket.get(), NL_CB_VALID, NL_CB_CUSTOM, collectInterface, &found) < 0) return {};
    if (nl_send_auto(socket.get(), message.get()) < 0) return {};
    // A failed dump keeps what arrived before the failure.
    nl_recvmsgs_default(socket.get());
    return found;
}

std::optional<WifiInterface> Nl80211WifiClient::interfaceWithName(const std::string& name) {
    for (auto& wifi : interfaces()) {
        if (wifi.interfaceName == name) return std::move(wifi);
    }
    return std::nullopt;
}

}  // namespace ostrel
