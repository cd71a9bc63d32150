#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "models/Models.hpp"

namespace ostrel::vell {

enum class RequestKind { aggregate, ranking, threshold };

// Every key that a request or a sample knows; `unknown` marks a key to skip.
enum class Field : std::uint8_t {
    samples,
    start,
    end,
    bucketSize,
    dimension,
    limit,
    totalBytes,
    warningThresholdBytes,
    dangerThresholdBytes,
    timestamp,
    networkId,
    networkName,
    appId,
    appName,
    rxBytes,
    txBytes,
    unknown,
};

constexpr std::uint32_t bit(Field field) { return 1u << static_cast<unsigned>(field); }

std::string_view fieldName(Field field);
Field requestField(RequestKind kind, std::string_view key);
Field sampleField(std::string_view key);
std::uint32_t requiredRequestFields(RequestKind kind);
constexpr std::uint32_t kRequiredSampleFields =
    bit(Field::timestamp) | bit(Field::networkId) | bit(Field::appId) | bit(Field::rxBytes) | bit(Field::txBytes);
std::string_view recordName(RequestKind kind);

// Values of whichever request is read; the kind decides which of them are filled.
struct RequestFields {
    std::vector<UsageSample> samples;
    Timestamp start;
    Timestamp end;
    BucketSize bucketSize = BucketSize::hour;
    RankingDimension dimension = RankingDimension::network;
    std::uint64_t limit = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t warningThresholdBytes = 0;
    std::uint64_t dangerThresholdBytes = 0;
};

}  // namespace ostrel::vell
