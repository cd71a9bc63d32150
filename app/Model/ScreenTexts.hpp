#pragma once

#include <cstdint>
#include <string>

#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"

// The texts the screens build from byte counts and records, beside the byte and percentage rules
// of TextFormat. Each takes an optional ICU locale name ("en_US"); empty is the user's locale.
namespace ostrel {

// Received + sent as one byte text; a sum past the 64-bit range shows as the largest count.
std::string totalBytesText(std::int64_t rxBytes, std::int64_t txBytes, const std::string& localeName = {});
// "Total: 5 MB".
std::string totalLineText(const UsageSummary& summary, const std::string& localeName = {});
// "Download 4 MB • Upload 1 MB".
std::string downloadUploadText(const UsageSummary& summary, const std::string& localeName = {});
// "↓ 3 MB  ↑ 1 MB", two spaces before the upwards arrow.
std::string directionsText(const UsageSummary& summary, const std::string& localeName = {});

// One row of a ranking, or the dimmed placeholder ("—", "0%", "0 B") where there is no item.
struct RankedRowText {
    std::string title;
    std::string share;
    std::string bytes;
    bool placeholder = false;

    bool operator==(const RankedRowText&) const = default;
};
RankedRowText rankedRowText(const RankedUsage* item, const std::string& localeName = {});

// The raw value with the first letter of each word upper case and the rest lower case: "wifi" ->
// "Wifi", "vpn" -> "Vpn".
std::string networkTypeLabel(NetworkType type);

// "Normal", "Warning", "Danger".
std::string alertLevelName(AlertLevel level);
// "Warning at " and the ratio to the warning threshold as a whole percentage: 0.734 gives
// "Warning at 73%" in English; a ratio that is not finite gives 0%.
std::string warningAtText(double ratio, const std::string& localeName = {});
// "Usage Trend (Weekly)".
std::string trendTitle(TimeframePreset timeframe);
// What makes a trend chart a new one rather than the old one with new values: the timeframe, the
// range and the number of points. The range's ends are seconds since 1970 in the shortest text
// that reads back to the same double, with at least one fraction digit ("1773144000.0").
std::string trendChartIdentity(const OverviewSnapshot& snapshot);

}  // namespace ostrel
