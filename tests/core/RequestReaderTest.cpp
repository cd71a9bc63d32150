// The call flow and the reading rules, through the exported functions.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/support/CoreCall.hpp"

namespace ostrel::vell {
namespace {

using test::call;
using test::errorOf;
using test::sample;

const std::string kParse = "input JSON parse error: ";

const auto threshold = [](const std::string& request) { return call(ol_core_evaluate_thresholds, request.c_str()); };
const auto rank = [](const std::string& request) { return call(ol_core_rank_entities, request.c_str()); };
const auto rankSamples = [](const std::string& samples) {
    return rank(R"({"samples":[)" + samples + R"(],"dimension":"network","limit":0})");
};
// One sample with these JSON values, ranked.
const auto rankOne = [](const std::string& timestamp, const std::string& network, const std::string& rx = "1") {
    return rankSamples(R"({"timestamp":)" + timestamp + R"(,"network_id":)" + network + R"(,"app_id":"a","rx_bytes":)" +
                       rx + R"(,"tx_bytes":0})");
};
const auto rankedSample = [](const std::string& rx) { return rankOne(R"("2024-03-01T10:15:30Z")", R"("n")", rx); };

const std::string kThreshold = R"({"total_bytes":5,"warning_threshold_bytes":10,"danger_threshold_bytes":20})";
const std::string kNormal = R"({"level":"normal","exceeds_warning":false,"exceeds_danger":false,"usage_ratio":0.5})";

TEST(RequestReaderTest, OnlyWhiteSpaceMayFollowTheRequest) {
    EXPECT_EQ(threshold(""), errorOf(kParse + "EOF while parsing a value at line 1 column 1"));
    EXPECT_EQ(threshold(" \n\t"), errorOf(kParse + "EOF while parsing a value at line 2 column 2"));
    EXPECT_EQ(threshold(kThreshold + " \n\r\t "), kNormal);
    EXPECT_EQ(threshold(R"( {"danger_threshold_bytes":20,"total_bytes":5,"warning_threshold_bytes":10})"), kNormal);
    EXPECT_EQ(threshold(kThreshold + "\n x"), errorOf(kParse + "trailing characters at line 2 column 2"));
    EXPECT_EQ(threshold(kThreshold + kThreshold), errorOf(kParse + "trailing characters at line 1 column 75"));
}

TEST(RequestReaderTest, Utf8FaultsNameLengthAndIndex) {
    // Past the 32-byte ASCII fast path, the index still counts from the first byte.
    const std::string pastFastPath = "{\"" + std::string(40, 'a') + "\":\"\x80" + std::string(30, 'b') + "\"}";
    for (const auto& [input, fault] : std::vector<std::pair<std::string, std::string>>{
             {"\xFF", "invalid utf-8 sequence of 1 bytes from index 0"},
             {"{\"\xC3\x28\"}", "invalid utf-8 sequence of 1 bytes from index 2"},
             {"ab\xE2\x82\x28", "invalid utf-8 sequence of 2 bytes from index 2"},
             {"\xF0\x9F\x98\x28", "invalid utf-8 sequence of 3 bytes from index 0"},
             {"\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // a surrogate
             {"\xC0\xAF", "invalid utf-8 sequence of 1 bytes from index 0"},      // an overlong form
             {"{} \xF0\x9F\x98", "incomplete utf-8 byte sequence from index 3"},
             {pastFastPath, "invalid utf-8 sequence of 1 bytes from index 45"}}) {
        EXPECT_EQ(threshold(input), errorOf("input UTF-8 error: " + fault)) << fault;
    }
}

// Positions: a value that does not fit is reported after it, a count at its first character.
TEST(RequestReaderTest, JsonFaultsEndWithLineAndColumn) {
    const std::pair<const char*, const char*> cases[] = {
        {"{\"total_bytes\":1", "EOF while parsing an object at line 1 column 17"},
        {"{\n  \"total_bytes\": x}", "expected value at line 2 column 18"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{\"a\":[1,2}", "expected `,` or `]` at line 1 column 10"},
        {"{\"a\":\"\\q\"}", "invalid escape at line 1 column 7"},
        {"{\"a\":\"x", "EOF while parsing a string at line 1 column 8"},
        {"{\"a\":\"\x01\"}", "control character (\\\\u0000-\\\\u001F) found while parsing a string at line 1 column 7"},
        {"{\"a\":1,}", "key must be a string at line 1 column 8"},
        {"[1]", "invalid type: sequence, expected struct ThresholdRequest at line 1 column 2"}};
    for (const auto& [input, fault] : cases) EXPECT_EQ(threshold(input), errorOf(kParse + fault)) << input;
}

TEST(RequestReaderTest, KeysMissingTwiceOrUnknown) {
    EXPECT_EQ(rank(R"({"samples":[],"dimension":"network"})"),
              errorOf(kParse + "missing field `limit` at line 1 column 37"));
    EXPECT_EQ(threshold(R"({"total_bytes":1,"total_bytes":2})"),
              errorOf(kParse + "duplicate field `total_bytes` at line 1 column 31"));
    // Unknown keys are skipped whatever they hold, but must still be valid JSON.
    const std::string extra = R"({"x":{"a":[1,{"b":null,"limit":"s"}],"c":-1.5e3},"total_bytes":5,"y":[[]],)"
                              R"("warning_threshold_bytes":10,"danger_threshold_bytes":20,"z":"\u00e9"})";
    EXPECT_EQ(threshold(extra), kNormal);
    EXPECT_EQ(threshold(R"({"x":[1,],"total_bytes":5})"), errorOf(kParse + "expected value at line 1 column 9"));
    EXPECT_EQ(threshold(R"({"x":1e400})"), errorOf(kParse + "number out of range at line 1 column 6"));
}

TEST(RequestReaderTest, EnumerationsMatchExactly) {
    EXPECT_EQ(rank(R"({"samples":[],"dimension":"Network","limit":0})"),
              errorOf(kParse + "unknown variant `Network`, expected `network` or `application` at line 1 column 36"));
    EXPECT_EQ(
        call(ol_core_aggregate_usage,
             R"({"samples":[],"start":"2024-03-01T00:00:00Z","end":"2024-03-01T00:00:00Z","bucket_size":"hours"})"),
        errorOf(kParse + "unknown variant `hours`, expected one of `five_minutes`, `hour`, `day` at line 1 column 96"));
    EXPECT_EQ(rank(R"({"samples":[],"dimension":1,"limit":0})"),
              errorOf(kParse + "invalid type: integer `1`, expected `network` or `application` at line 1 column 27"));
}

TEST(RequestReaderTest, CountsAreUnsigned64BitIntegersOnly) {
    EXPECT_EQ(rankedSample("18446744073709551615"),
              R"({"items":[{"id":"n","label":"n","rx_bytes":18446744073709551615,"tx_bytes":0,)"
              R"("total_bytes":18446744073709551615,"share":1.0}]})");
    EXPECT_EQ(rankedSample("-0"),
              R"({"items":[{"id":"n","label":"n","rx_bytes":0,"tx_bytes":0,"total_bytes":0,"share":0.0}]})");
    const std::pair<const char*, const char*> refused[] = {
        {"1.0", "invalid type: floating point `1.0`, expected u64 at line 1 column 90"},
        {"1e3", "invalid type: floating point `1e3`, expected u64 at line 1 column 90"},
        {"-1", "invalid value: integer `-1`, expected u64 at line 1 column 90"},
        {"18446744073709551616", "invalid value: integer `18446744073709551616`, expected u64 at line 1 column 90"},
        {"\"1\"", "invalid type: string \\\"1\\\", expected u64 at line 1 column 93"},
        {"null", "invalid type: null, expected u64 at line 1 column 94"},
        {"[]", "invalid type: sequence, expected u64 at line 1 column 91"},
    };
    for (const auto& [count, message] : refused) EXPECT_EQ(rankedSample(count), errorOf(kParse + message)) << count;
}

TEST(RequestReaderTest, NamesMayBeNullOrAbsentButIdentifiersMustBeStrings) {
    EXPECT_EQ(rankSamples(sample("2024-03-01T10:15:30Z", "n", "a", 1, 2)),
              rankSamples(R"({"timestamp":"2024-03-01T10:15:30Z","network_id":"n","network_name":null,"app_id":"a",)"
                          R"("rx_bytes":1,"tx_bytes":2})"));
    const std::string at = R"("2024-03-01T10:15:30Z")";
    EXPECT_EQ(rankOne(at, R"("\udc00")"), errorOf(kParse + "lone surrogate in hex escape at line 1 column 70"));
    EXPECT_EQ(rankOne(at, R"("\ud800x")"),
              errorOf(kParse + "lone leading surrogate in hex escape at line 1 column 63"));
    EXPECT_EQ(rankOne(at, "7"), errorOf(kParse + "invalid type: integer `7`, expected a string at line 1 column 62"));
    EXPECT_EQ(rankSamples("3"),
              errorOf(kParse + "invalid type: integer `3`, expected struct UsageSample at line 1 column 13"));
}

TEST(RequestReaderTest, DateTimesAreTypedAndRead) {
    EXPECT_EQ(rankOne(R"("2024-03-01T10:15:30")", R"("n")"),
              errorOf(kParse + "premature end of input at line 1 column 47"));
    EXPECT_EQ(
        rankOne("1709288130", R"("n")"),
        errorOf(kParse + "invalid type: integer `1709288130`, expected an RFC 3339 formatted date and time string "
                         "at line 1 column 26"));
    EXPECT_EQ(rankOne(R"("2024-03-01 10:15:30.5+02:00")", R"("n")").find("error"), std::string::npos);
}

TEST(RequestReaderTest, DeepNestingIsRefusedNotRecursedInto) {
    const std::string deep = R"({"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(threshold(deep), errorOf(kParse + "recursion limit exceeded at line 1 column 134"));
    const std::string shallow = R"({"x":)" + std::string(120, '[') + std::string(120, ']') + kThreshold.substr(1);
    EXPECT_EQ(threshold(shallow.substr(0, 245) + "," + shallow.substr(245)), kNormal);
}

}  // namespace
}  // namespace ostrel::vell
