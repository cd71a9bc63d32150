#pragma once

#include <QString>
#include <string>

#include "Model/Enums.hpp"
#include "Model/ScreenModels.hpp"

// The Overview screen's own texts, beside the shared byte and percentage rules.
namespace ostrel {

// "Warning at " and the ratio to the warning threshold as a whole percentage in the user's
// locale (or the named ICU locale): 0.734 gives "Warning at 73%" in English.
QString warningAtText(double ratio, const std::string& localeName = {});

QString alertLevelName(AlertLevel level);

// "Usage Trend (Weekly)" and the like.
QString trendTitle(TimeframePreset timeframe);

// What makes a trend chart a new one rather than the old one with new values: the timeframe, the
// range and the number of points. The range's ends are seconds since 1970 in the shortest text
// that reads back to the same double, with at least one fraction digit ("1773144000.0").
std::string trendChartIdentity(const OverviewSnapshot& snapshot);

}  // namespace ostrel
