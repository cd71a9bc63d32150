#include "models/RequestFields.hpp"

#include <array>

namespace ostrel::vell {
namespace {

constexpr std::array<std::string_view, 16> kNames = {
    "samples",     "start",   "end",       "bucket_size",  "dimension", "limit",    "total_bytes", "warning_threshold_bytes",
    "danger_threshold_bytes", "timestamp", "network_id",   "network_name", "app_id", "app_name", "rx_bytes", "tx_bytes",
};

}  // namespace

std::string_view fieldName(Field field) {
    const auto index = static_cast<std::size_t>(field);
    return index < kNames.size() ? kNames[index] : std::string_view("unknown");
}

// Every field a request knows is one it requires.
Field requestField(RequestKind kind, std::string_view key) {
    const std::uint32_t known = requiredRequestFields(kind);
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if ((known & (1u << i)) != 0 && kNames[i] == key) return static_cast<Field>(i);
    }
    return Field::unknown;
}

Field sampleField(std::string_view key) {
    // Called once per key of every sample: dispatch on the length before comparing text.
    switch (key.size()) {
        case 6:
            return key == "app_id" ? Field::appId : Field::unknown;
        case 8:
            if (key == "rx_bytes") return Field::rxBytes;
            if (key == "tx_bytes") return Field::txBytes;
            return key == "app_name" ? Field::appName : Field::unknown;
        case 9:
            return key == "timestamp" ? Field::timestamp : Field::unknown;
        case 10:
            return key == "network_id" ? Field::networkId : Field::unknown;
        case 12:
            return key == "network_name" ? Field::networkName : Field::unknown;
        default:
            return Field::unknown;
    }
}

std::uint32_t requiredRequestFields(RequestKind kind) {
    switch (kind) {
        case RequestKind::aggregate:
            return bit(Field::samples) | bit(Field::start) | bit(Field::end) | bit(Field::bucketSize);
        case RequestKind::ranking:
            return bit(Field::samples) | bit(Field::dimension) | bit(Field::limit);
        case RequestKind::threshold:
            return bit(Field::totalBytes) | bit(Field::warningThresholdBytes) | bit(Field::dangerThresholdBytes);
    }
    return 0;
}

std::string_view recordName(RequestKind kind) {
    switch (kind) {
        case RequestKind::aggregate:
            return "struct AggregateRequest";
        case RequestKind::ranking:
            return "struct RankingRequest";
        case RequestKind::threshold:
            return "struct ThresholdRequest";
    }
    return "struct";
}

}  // namespace ostrel::vell
