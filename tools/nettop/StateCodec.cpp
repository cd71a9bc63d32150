// The state's binary form: a line naming the format, fixed-size numbers in this machine's byte
// order, strings with their length, and one fixed-size record per socket, so that tens of
// thousands of sockets are read and written in well under a millisecond.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "TrafficState.hpp"

namespace ostrel::nettop {
namespace {

constexpr std::string_view formatLine = "ostrel-nettop-state 4\n";
constexpr std::size_t maxNameBytes = 15;  // a process's command, as the kernel keeps it
constexpr std::size_t maxTextBytes = 4096;

struct StoredSocket {
    std::uint64_t cookie;
    std::uint64_t bytesIn;
    std::uint64_t bytesOut;
    std::uint64_t missedAt;
    std::int32_t pid;
    std::int32_t fd;
    std::uint32_t segmentsOut;
    std::uint32_t interface;
    std::uint32_t source[4];
    std::uint32_t destination[4];
    std::uint16_t sourcePort;
    std::uint16_t destinationPort;
    std::uint8_t family;
    std::uint8_t local;
    char name[maxNameBytes + 1];
    char unused[2];
};
static_assert(sizeof(StoredSocket) == 104 && std::is_trivially_copyable_v<StoredSocket>);

template <typename T>
void put(std::string& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putText(std::string& out, std::string_view text) {
    put(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

// Reads front to back; any read past the end, or a length out of bounds, fails the whole form.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    template <typename T>
    bool get(T& value) {
        if (rest_.size() < sizeof value) return false;
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return true;
    }
    bool getText(std::string& text) {
        std::uint32_t size = 0;
        if (!get(size) || size > maxTextBytes || rest_.size() < size) return false;
        text.assign(rest_.data(), size);
        rest_.remove_prefix(size);
        return true;
    }
    // A count of records of `size` bytes that the rest can hold.
    bool getCount(std::uint32_t& count, std::size_t size) { return get(count) && rest_.size() / size >= count; }
    bool done() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace

std::string formatState(const TrafficState& state) {
    std::string out;
    out.reserve(formatLine.size() + 128 + 48 * state.links.size() + sizeof(StoredSocket) * state.sockets.size());
    out.append(formatLine);
    for (const auto value : {state.netns, state.segmentsSent, state.segmentsWindow, state.walkedAt, state.walk}) {
        put(out, value);
    }
    putText(out, state.boot);
    put(out, static_cast<std::uint32_t>(state.links.size()));
    for (const auto& [name, totals] : state.links) {
        put(out, totals.rx);
        put(out, totals.tx);
        putText(out, name);
    }
    put(out, static_cast<std::uint32_t>(state.sockets.size()));
    for (const auto& [cookie, totals] : state.sockets) {
        StoredSocket stored{};
        stored.cookie = cookie;
        stored.bytesIn = totals.bytesIn;
        stored.bytesOut = totals.bytesOut;
        stored.missedAt = totals.missedAt;
        stored.pid = totals.pid;
        stored.fd = totals.fd;
        stored.segmentsOut = totals.segmentsOut;
        stored.interface = totals.address.interface;
        std::memcpy(stored.source, totals.address.source.data(), sizeof stored.source);
        std::memcpy(stored.destination, totals.address.destination.data(), sizeof stored.destination);
        stored.sourcePort = totals.address.sourcePort;
        stored.destinationPort = totals.address.destinationPort;
        stored.family = totals.address.family;
        stored.local = totals.local ? 1 : 0;
        std::memcpy(stored.name, totals.name.data(), std::min(totals.name.size(), maxNameBytes));
        put(out, stored);
    }
    return out;
}

std::optional<TrafficState> parseState(std::string_view bytes) {
    if (!bytes.starts_with(formatLine)) return std::nullopt;
    Reader in(bytes.substr(formatLine.size()));
    TrafficState state;
    for (auto* value : {&state.netns, &state.segmentsSent, &state.segmentsWindow, &state.walkedAt, &state.walk}) {
        if (!in.get(*value)) return std::nullopt;
    }
    std::uint32_t links = 0, sockets = 0;
    if (!in.getText(state.boot) || !in.getCount(links, 2 * sizeof(std::uint64_t) + sizeof(std::uint32_t))) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < links; ++i) {
        LinkTotals totals;
        std::string name;
        if (!in.get(totals.rx) || !in.get(totals.tx) || !in.getText(name)) return std::nullopt;
        state.links[std::move(name)] = totals;
    }
    if (!in.getCount(sockets, sizeof(StoredSocket))) return std::nullopt;
    for (std::uint32_t i = 0; i < sockets; ++i) {
        StoredSocket stored{};
        in.get(stored);
        SocketTotals totals;
        totals.bytesIn = stored.bytesIn;
        totals.bytesOut = stored.bytesOut;
        totals.missedAt = stored.missedAt;
        totals.pid = stored.pid;
        totals.fd = stored.fd;
        totals.segmentsOut = stored.segmentsOut;
        totals.local = stored.local != 0;
        totals.name.assign(stored.name, ::strnlen(stored.name, maxNameBytes));
        auto& address = totals.address;
        address.family = stored.family;
        address.sourcePort = stored.sourcePort;
        address.destinationPort = stored.destinationPort;
        address.interface = stored.interface;
        std::memcpy(address.source.data(), stored.source, sizeof stored.source);
        std::memcpy(address.destination.data(), stored.destination, sizeof stored.destination);
        state.sockets.emplace_hint(state.sockets.end(), stored.cookie, std::move(totals));
    }
    if (!in.done() || state.boot.empty() || state.sockets.size() != sockets) return std::nullopt;
    return state;
}

}  // namespace ostrel::nettop
