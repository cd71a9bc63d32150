#include "Features/Networks/NetworkTexts.hpp"

#include <unicode/dtptngen.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>

#include <memory>

#include "Model/TextFormat.hpp"

namespace ostrel {

QString networkTypeLabel(NetworkType type) {
    const QString raw = QString::fromLatin1(rawValue(type));
    return raw.left(1).toUpper() + raw.mid(1).toLower();
}

QString bytesText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

QString shareText(double fraction) {
    return QString::fromStdString(percentageString(fraction));
}

QString periodStartText(Date start, const Calendar& calendar, const std::string& localeName) {
    using namespace std::chrono;
    const icu::Locale locale = localeName.empty() ? icu::Locale::getDefault() : icu::Locale(localeName.c_str());
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::DateTimePatternGenerator> generator{
        icu::DateTimePatternGenerator::createInstance(locale, status)};
    if (U_FAILURE(status)) return {};
    // "j": the locale's own hour, with a day-period marker only where it uses one.
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"MMMdj"), status);
    icu::SimpleDateFormat format(pattern, locale, status);
    if (U_FAILURE(status)) return {};
    // A fixed zone of the calendar's offset at that instant: ICU need not know the user's zone,
    // which may be a POSIX rule or a zone file of its own.
    const auto second = floor<seconds>(start);
    const auto offset = calendar.localTime(second).time_since_epoch() - second.time_since_epoch();
    format.adoptTimeZone(
        new icu::SimpleTimeZone(static_cast<std::int32_t>(milliseconds(offset).count()), icu::UnicodeString(u"local")));
    icu::UnicodeString text;
    format.format(static_cast<UDate>(duration_cast<milliseconds>(start.time_since_epoch()).count()), text);
    return QString::fromUtf16(text.getBuffer(), text.length());
}

}  // namespace ostrel
