// Strings are handed over where they stand unless they hold escapes; those are decoded again.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/support/CoreCall.hpp"
#include "models/InPlaceReadStream.hpp"
#include "models/RequestReader.hpp"

namespace ostrel::vell {
namespace {

TEST(InPlaceReadStreamTest, EscapedIdentifiersDecodeAndPlainOnesStayInTheRequest) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {R"(\"\\\/\b\f\n\r\t)", "\"\\/\b\f\n\r\t"},
        {R"(a\u0000b)", std::string("a\0b", 3)},
        {R"(\u001f\u007F\u0080\u07ff\u0800\uFFFF)", "\x1F\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {R"(\ud83d\ude00x\uDBFF\uDFFF)", "\xF0\x9F\x98\x80x\xF4\x8F\xBF\xBF"},
        {"\xC3\xA9\\u00e9\xF0\x9F\x98\x80", "\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80"},
        {R"(\\u0041)", "\\u0041"},  // an escaped backslash, then plain text
    };
    for (const auto& [written, expected] : cases) {
        const std::string request =
            R"({"samples":[{"timestamp":"2024-03-01T10:15:30Z","network_id":")" + written +
            R"(","app_id":"plain","rx_bytes":1,"tx_bytes":2}],"dimension":"network","limit":0})";
        const auto outcome = readRankingRequest(request);
        ASSERT_TRUE(std::holds_alternative<ParsedRequest<RankingRequest>>(outcome)) << request;
        const auto& sample = std::get<0>(outcome).request.samples.at(0);
        EXPECT_EQ(sample.networkId, expected) << written;
        // Text without escapes is not copied: it is a view of the request itself.
        EXPECT_GE(sample.appId.data(), request.data());
        EXPECT_LT(sample.appId.data(), request.data() + request.size());
    }
}

TEST(InPlaceReadStreamTest, EscapedKeysAreMatchedDecoded) {
    const std::string request =
        R"({"total_bytes":5,"warning_threshold_byte\u0073":10,"\u0064anger_threshold_bytes":20})";
    EXPECT_EQ(test::call(ol_core_evaluate_thresholds, request.c_str()),
              R"({"level":"normal","exceeds_warning":false,"exceeds_danger":false,"usage_ratio":0.5})");
}

}  // namespace
}  // namespace ostrel::vell
