#include "Model/ScreenTexts.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>

#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"

namespace ostrel {
namespace {

std::string bytes(std::int64_t count, const std::string& localeName) {
    return localeName.empty() ? byteString(count) : byteString(count, localeName);
}

std::string share(double fraction, const std::string& localeName) {
    return localeName.empty() ? percentageString(fraction) : percentageString(fraction, localeName);
}

std::string wholePercentage(double fraction, const std::string& localeName) {
    if (!std::isfinite(fraction)) return "0%";
    const icu::Locale locale = localeName.empty() ? icu::Locale::getDefault() : icu::Locale(localeName.c_str());
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

std::string totalBytesText(std::int64_t rxBytes, std::int64_t txBytes, const std::string& localeName) {
    return bytes(saturatingAdd(rxBytes, txBytes), localeName);
}

std::string totalLineText(const UsageSummary& summary, const std::string& localeName) {
    return "Total: " + totalBytesText(summary.rxBytes, summary.txBytes, localeName);
}

std::string downloadUploadText(const UsageSummary& summary, const std::string& localeName) {
    return "Download " + bytes(summary.rxBytes, localeName) + " \u2022 Upload " + bytes(summary.txBytes, localeName);
}

std::string directionsText(const UsageSummary& summary, const std::string& localeName) {
    return "\u2193 " + bytes(summary.rxBytes, localeName) + "  \u2191 " + bytes(summary.txBytes, localeName);
}

RankedRowText rankedRowText(const RankedUsage* item, const std::string& localeName) {
    if (item == nullptr) return {"\u2014", "0%", "0 B", true};
    return {item->title, share(item->share, localeName), totalBytesText(item->rxBytes, item->txBytes, localeName),
            false};
}

std::string networkTypeLabel(NetworkType type) {
    std::string label(rawValue(type));
    bool wordStart = true;
    for (char& c : label) {
        const auto byte = static_cast<unsigned char>(c);
        c = static_cast<char>(wordStart ? std::toupper(byte) : std::tolower(byte));
        wordStart = std::isalnum(byte) == 0;
    }
    return label;
}

std::string alertLevelName(AlertLevel level) {
    switch (level) {
        case AlertLevel::normal:
            return "Normal";
        case AlertLevel::warning:
            return "Warning";
        case AlertLevel::danger:
            return "Danger";
    }
    return {};
}

std::string warningAtText(double ratio, const std::string& localeName) {
    return "Warning at " + wholePercentage(ratio, localeName);
}

std::string trendTitle(TimeframePreset timeframe) {
    return "Usage Trend (" + std::string(title(timeframe)) + ')';
}

std::string trendChartIdentity(const OverviewSnapshot& snapshot) {
    std::string identity = "trend-";
    identity += rawValue(snapshot.timeframe);
    identity += '-' + secondsText(snapshot.range.start);
    identity += '-' + secondsText(snapshot.range.end);
    identity += '-' + std::to_string(snapshot.trend.size());
    return identity;
}

}  // namespace ostrel
