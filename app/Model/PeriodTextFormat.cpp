#include "Model/PeriodTextFormat.hpp"

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>

#include <chrono>

namespace ostrel {

struct PeriodTextFormat::Pattern {
    std::unique_ptr<icu::SimpleDateFormat> format;
};

PeriodTextFormat::PeriodTextFormat(const std::string& localeName) : pattern_(std::make_unique<Pattern>()) {
    const icu::Locale locale = localeName.empty() ? icu::Locale::getDefault() : icu::Locale(localeName.c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator{
        icu::DateTimePatternGenerator::createInstance(locale, status)};
    if (U_FAILURE(status)) return;
    // "j": the locale's own hour cycle, with its day-period marker where it uses one.
    const auto pattern = generator->getBestPattern(icu::UnicodeString(u"MMMdj"), status);
    if (U_FAILURE(status)) return;
    pattern_->format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status)) pattern_->format.reset();
}

PeriodTextFormat::~PeriodTextFormat() = default;

std::string PeriodTextFormat::operator()(Date date, const Calendar& calendar) const {
    using namespace std::chrono;
    const auto& format = pattern_->format;
    if (!format) return {};
    // A fixed zone of the calendar's offset at that instant: ICU need not know the user's zone,
    // which may be a POSIX rule or a zone file of its own.
    const auto second = floor<seconds>(date);
    const auto offset = calendar.localTime(second).time_since_epoch() - second.time_since_epoch();
    format->adoptTimeZone(
        new icu::SimpleTimeZone(static_cast<std::int32_t>(milliseconds(offset).count()), icu::UnicodeString(u"local")));
    icu::UnicodeString text;
    format->format(static_cast<UDate>(duration_cast<milliseconds>(date.time_since_epoch()).count()), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace ostrel
