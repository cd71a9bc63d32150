#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Model/Records.hpp"
#include "Services/VellCoreBridge.hpp"

// The bridge's JSON. Requests are written compactly by hand as the core library reads them:
// snake-case keys, dates in whole seconds with "Z", texts escaped. Answers are read back with
// RapidJSON, strictly: every field required, integers within the signed 64-bit range, dates
// without a fraction; keys that no record names are ignored.
namespace ostrel::vellcore {

// Appends {"samples":[...] (the object left open); false when a text of the samples is not
// UTF-8.
bool appendSamples(std::string& text, std::span<const UsageSampleRecord> samples);
// Append the other fields of a request after appendSamples, and close the object.
void appendAggregateFields(std::string& text, const DateRange& range, VellBucketSize bucketSize);
void appendRankFields(std::string& text, VellRankingDimension dimension, std::int64_t limit);

std::string thresholdRequest(std::int64_t totalBytes, std::int64_t warning, std::int64_t danger);

// The text with each ill-formed UTF-8 sequence replaced by U+FFFD.
std::string utf8Repaired(std::string_view text);

// The message of an object whose "error" is a text, whatever else it holds.
std::optional<std::string> errorMessage(const rapidjson::Value& answer);

std::optional<VellAggregation> readAggregation(const rapidjson::Value& answer);
std::optional<std::vector<RankedUsage>> readRanking(const rapidjson::Value& answer);
std::optional<ThresholdEvaluation> readThreshold(const rapidjson::Value& answer);

}  // namespace ostrel::vellcore
