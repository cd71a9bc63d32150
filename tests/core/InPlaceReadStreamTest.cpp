// Strings are handed over where they stand unless they hold escapes; those are decoded again.
#include "models/InPlaceReadStream.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "core/support/CoreCall.hpp"
#include "models/RequestReader.hpp"

namespace ostrel::vell {
namespace {

std::string utf8(unsigned codepoint) {
    std::string out;
    if (codepoint < 0x80) {
        out += static_cast<char>(codepoint);
    } else if (codepoint < 0x800) {
        out += static_cast<char>(0xC0 | (codepoint >> 6));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    } else if (codepoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codepoint >> 12));
        out += static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codepoint >> 18));
        out += static_cast<char>(0x80 | ((codepoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codepoint & 0x3F));
    }
    return out;
}

std::string hexEscape(unsigned unit) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", unit);
    return text;
}

// One code point written in any of the ways JSON allows.
std::string written(unsigned codepoint, unsigned way) {
    if (codepoint >= 0x10000) {
        const unsigned v = codepoint - 0x10000;
        return way % 2 ? utf8(codepoint) : hexEscape(0xD800 + (v >> 10)) + hexEscape(0xDC00 + (v & 0x3FF));
    }
    if (codepoint == '"' || codepoint == '\\') return std::string("\\") + static_cast<char>(codepoint);
    if (codepoint == '\n' && way % 3 == 0) return "\\n";
    if (codepoint == '/' && way % 3 == 0) return "\\/";
    if (codepoint < 0x20 || way % 4 == 0) return hexEscape(codepoint);
    return utf8(codepoint);
}

TEST(InPlaceReadStreamTest, DecodedIdentifiersMatchWhatWasWritten) {
    std::mt19937 random(11);
    const unsigned pool[] = {0, 0x1F, '"', '\\', '/', '\n', 'a', 'Z', 0xE9, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
    for (int round = 0; round < 2000; ++round) {
        std::string expected, json;
        const int length = static_cast<int>(random() % 8);
        for (int i = 0; i < length; ++i) {
            const unsigned codepoint = pool[random() % std::size(pool)];
            expected += utf8(codepoint);
            json += written(codepoint, static_cast<unsigned>(random()));
        }
        const std::string request = R"({"samples":[{"timestamp":"2024-03-01T10:15:30Z","network_id":")" + json +
                                    R"(","app_id":"plain","rx_bytes":1,"tx_bytes":2}],"dimension":"network","limit":0})";
        const auto outcome = readRankingRequest(request);
        ASSERT_TRUE(std::holds_alternative<ParsedRequest<RankingRequest>>(outcome)) << request;
        const auto& sample = std::get<0>(outcome).request.samples.at(0);
        ASSERT_EQ(sample.networkId, expected) << request;
        // Text without escapes is not copied: it is a view of the request itself.
        EXPECT_GE(sample.appId.data(), request.data());
        EXPECT_LT(sample.appId.data(), request.data() + request.size());
    }
}

TEST(InPlaceReadStreamTest, EscapedKeysAreMatchedDecoded) {
    const std::string request = R"({"total_bytes":5,"warning_threshold_byte\u0073":10,"\u0064anger_threshold_bytes":20})";
    EXPECT_EQ(test::call(ol_core_evaluate_thresholds, request.c_str()),
              R"({"level":"normal","exceeds_warning":false,"exceeds_danger":false,"usage_ratio":0.5})");
}

}  // namespace
}  // namespace ostrel::vell
