#include "Features/Overview/OverviewTexts.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>

namespace ostrel {
namespace {

std::string wholePercentage(double fraction, const icu::Locale& locale) {
    if (!std::isfinite(fraction)) return "0%";
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter{icu::NumberFormat::createPercentInstance(locale, status)};
    if (U_FAILURE(status) || !formatter) return "0%";
    formatter->setMinimumFractionDigits(0);
    formatter->setMaximumFractionDigits(0);
    icu::UnicodeString text;
    formatter->format(fraction, text);
    std::string result;
    text.toUTF8String(result);
    return result.empty() ? "0%" : result;
}

std::string secondsText(Date date) {
    const double seconds = std::chrono::duration<double>(date.time_since_epoch()).count();
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

}  // namespace

QString warningAtText(double ratio, const std::string& localeName) {
    const icu::Locale locale = localeName.empty() ? icu::Locale::getDefault() : icu::Locale(localeName.c_str());
    return QStringLiteral("Warning at ") + QString::fromStdString(wholePercentage(ratio, locale));
}

QString alertLevelName(AlertLevel level) {
    switch (level) {
        case AlertLevel::normal:
            return QStringLiteral("Normal");
        case AlertLevel::warning:
            return QStringLiteral("Warning");
        case AlertLevel::danger:
            return QStringLiteral("Danger");
    }
    return {};
}

QString trendTitle(TimeframePreset timeframe) {
    const std::string_view name = title(timeframe);
    return QStringLiteral("Usage Trend (") + QString::fromLatin1(name.data(), qsizetype(name.size())) + ')';
}

std::string trendChartIdentity(const OverviewSnapshot& snapshot) {
    return "trend-" + std::string(rawValue(snapshot.timeframe)) + '-' + secondsText(snapshot.range.start) + '-' +
           secondsText(snapshot.range.end) + '-' + std::to_string(snapshot.trend.size());
}

}  // namespace ostrel
