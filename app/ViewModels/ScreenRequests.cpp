#include "ViewModels/ScreenRequests.hpp"

#include <chrono>

#include "Model/Calendar.hpp"
#include "Model/TimeframeRange.hpp"

namespace ostrel {

DateRange initialCustomRange(Date now) {
    return DateRange{sameTimeDaysBefore(now, 7, Calendar::current()).value_or(now), now};
}

std::optional<DateRange> requestedRange(TimeframePreset timeframe, const DateRange& customRange) {
    if (timeframe != TimeframePreset::custom) return std::nullopt;
    return customRange;
}

QDateTime toQDateTime(Date date) {
    const auto milliseconds = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(milliseconds.count());
}

Date toDate(const QDateTime& dateTime) {
    return Date{std::chrono::milliseconds{dateTime.toMSecsSinceEpoch()}};
}

QString errorText(const std::exception& error) {
    return QString::fromUtf8(error.what());  // empty, not null, for an empty text
}

}  // namespace ostrel
