#include "Model/TextFormat.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

namespace ostrel {
namespace {

std::string percentage(double fraction, const icu::Locale& locale) {
    if (!std::isfinite(fraction)) {
        return "0%";
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter{icu::NumberFormat::createPercentInstance(locale, status)};
    if (U_FAILURE(status) || !formatter) {
        return "0%";
    }
    formatter->setMinimumFractionDigits(0);
    formatter->setMaximumFractionDigits(1);
    icu::UnicodeString text;
    formatter->format(fraction, text);
    std::string result;
    text.toUTF8String(result);
    return result.empty() ? "0%" : result;
}

struct Unit {
    const char* name;
    int fractionDigits;
};
constexpr std::array<Unit, 4> kUnits{{{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}}};

double roundedTo(double value, int fractionDigits) {
    const double scale = std::pow(10.0, fractionDigits);
    return std::nearbyint(value * scale) / scale;  // the default rounding mode: half to even
}

std::string number(double value, int fractionDigits, const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter{icu::NumberFormat::createInstance(locale, status)};
    if (U_SUCCESS(status) && formatter) {
        formatter->setMinimumFractionDigits(0);
        formatter->setMaximumFractionDigits(fractionDigits);
        icu::UnicodeString text;
        formatter->format(value, text);
        std::string result;
        text.toUTF8String(result);
        if (!result.empty()) {
            return result;
        }
    }
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*f", fractionDigits, value);
    return buffer.data();
}

std::string bytes(std::int64_t count, const icu::Locale& locale) {
    if (count == 0) {
        return "Zero KB";
    }
    // As a double even INT64_MIN has a magnitude; the precision lost is far below what is shown.
    double value = std::fabs(static_cast<double>(count)) / 1024.0;
    std::size_t unit = 0;
    while (unit + 1 < kUnits.size() && roundedTo(value, kUnits[unit].fractionDigits) >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    double shown = roundedTo(value, kUnits[unit].fractionDigits);
    if (shown == 0.0) {
        shown = 1.0;  // traffic below half a KB still shows as some
    }
    return number(count < 0 ? -shown : shown, kUnits[unit].fractionDigits, locale) + " " + kUnits[unit].name;
}

}  // namespace

std::string percentageString(double fraction) {
    return percentage(fraction, icu::Locale::getDefault());
}

std::string percentageString(double fraction, const std::string& localeName) {
    return percentage(fraction, icu::Locale(localeName.c_str()));
}

std::string byteString(std::int64_t count) {
    return bytes(count, icu::Locale::getDefault());
}

std::string byteString(std::int64_t count, const std::string& localeName) {
    return bytes(count, icu::Locale(localeName.c_str()));
}

}  // namespace ostrel
