#include "UI/TimeAxis.hpp"

#include <unicode/dtptngen.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace ostrel {
namespace {

using namespace std::chrono;

enum class StepKind { minutes, hours, days, months, years };

struct Step {
    StepKind kind;
    int count;
    seconds approximate;
};

constexpr Step kSteps[] = {
    {StepKind::minutes, 1, minutes(1)},   {StepKind::minutes, 2, minutes(2)},   {StepKind::minutes, 5, minutes(5)},
    {StepKind::minutes, 10, minutes(10)}, {StepKind::minutes, 15, minutes(15)}, {StepKind::minutes, 30, minutes(30)},
    {StepKind::hours, 1, hours(1)},       {StepKind::hours, 2, hours(2)},       {StepKind::hours, 3, hours(3)},
    {StepKind::hours, 6, hours(6)},       {StepKind::hours, 12, hours(12)},     {StepKind::days, 1, days(1)},
    {StepKind::days, 2, days(2)},         {StepKind::days, 7, days(7)},         {StepKind::days, 14, days(14)},
    {StepKind::months, 1, days(30)},      {StepKind::months, 2, days(61)},      {StepKind::months, 3, days(91)},
    {StepKind::months, 6, days(182)},     {StepKind::years, 1, days(365)},      {StepKind::years, 2, days(730)},
    {StepKind::years, 5, days(1826)},     {StepKind::years, 10, days(3652)},    {StepKind::years, 100, days(36524)},
};

// A time the clocks skip marks the end of the gap. Beyond what Date holds: its nearer end, and
// the marks stop at Date::max().
Date toDate(const Calendar& calendar, date::local_seconds local) {
    if (const auto date = calendar.firstInstantAtOrAfter(local)) return *date;
    return local.time_since_epoch() < seconds{0} ? Date::min() : Date::max();
}

// The marks of one step within [first, last]; stops early once past `limit` of them.
std::vector<Date> marksOf(const Step& step, Date first, Date last, const Calendar& calendar, std::size_t limit) {
    std::vector<Date> marks;
    const auto add = [&](Date date) {
        if (date == Date::max()) return false;
        if (date >= first && date <= last && (marks.empty() || date > marks.back())) marks.push_back(date);
        return date <= last && marks.size() <= limit;
    };
    const auto localFirst = calendar.localTime(floor<seconds>(first));
    const auto day = date::floor<date::days>(localFirst);
    switch (step.kind) {
        case StepKind::minutes:
        case StepKind::hours: {
            const seconds size = step.kind == StepKind::minutes ? seconds(minutes(step.count)) : hours(step.count);
            // Steps divide a day, so counting from midnight keeps them on round times every day.
            date::local_seconds local = day + (localFirst - day) / size * size;
            for (; add(toDate(calendar, local)); local += size) {
            }
            break;
        }
        case StepKind::days:
            for (auto local = day; add(toDate(calendar, local)); local += date::days(step.count)) {
            }
            break;
        case StepKind::months: {
            const date::year_month_day ymd{day};
            auto month = ymd.year() / ymd.month();
            const auto offset = (static_cast<unsigned>(ymd.month()) - 1) % static_cast<unsigned>(step.count);
            month -= date::months(offset);
            for (; add(toDate(calendar, date::local_days{month / 1})); month += date::months(step.count)) {
            }
            break;
        }
        case StepKind::years: {
            auto year = date::year_month_day{day}.year();
            year -= date::years((static_cast<int>(year) % step.count + step.count) % step.count);
            for (; add(toDate(calendar, date::local_days{year / 1 / 1})); year += date::years(step.count)) {
            }
            break;
        }
    }
    return marks;
}

const char* skeletonOf(StepKind kind) {
    switch (kind) {
        case StepKind::minutes:
            return "jmm";
        case StepKind::hours:
            return "j";
        case StepKind::days:
            return "MMMd";
        case StepKind::months:
            return "MMM";
        case StepKind::years:
            break;
    }
    return "y";
}

class Labeler {
public:
    Labeler(const char* skeleton, const Calendar& calendar, const std::string& localeName) : calendar_(calendar) {
        const icu::Locale locale = localeName.empty() ? icu::Locale::getDefault() : icu::Locale(localeName.c_str());
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateTimePatternGenerator> generator{
            icu::DateTimePatternGenerator::createInstance(locale, status)};
        if (U_FAILURE(status)) return;
        const auto pattern = generator->getBestPattern(icu::UnicodeString::fromUTF8(skeleton), status);
        if (U_FAILURE(status)) return;
        format_ = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
        if (U_FAILURE(status)) format_.reset();
    }

    // In a zone of the calendar's offset at that instant: ICU need not know the zone, which may be
    // a POSIX rule or a zone file of its own.
    std::string operator()(Date date) {
        if (!format_) return {};
        const auto second = floor<seconds>(date);
        const auto offset = calendar_.localTime(second).time_since_epoch() - second.time_since_epoch();
        format_->adoptTimeZone(new icu::SimpleTimeZone(static_cast<std::int32_t>(milliseconds(offset).count()),
                                                       icu::UnicodeString(u"local")));
        const auto millis = duration_cast<milliseconds>(date.time_since_epoch()).count();
        icu::UnicodeString text;
        format_->format(static_cast<UDate>(millis), text);
        std::string result;
        text.toUTF8String(result);
        return result;
    }

private:
    const Calendar& calendar_;
    std::unique_ptr<icu::SimpleDateFormat> format_;
};

}  // namespace

std::vector<TimeAxisMark> timeAxisMarks(Date first, Date last, int desiredCount, const Calendar& calendar,
                                        const std::string& localeName) {
    if (last < first || desiredCount < 1) return {};
    std::optional<Step> chosen;
    std::vector<Date> dates;
    if (last == first) {
        const auto local = calendar.localTime(floor<seconds>(first));
        chosen = Step{local == date::floor<date::days>(local) ? StepKind::days : StepKind::hours, 1, {}};
        dates.push_back(first);
    } else {
        const auto span = duration_cast<seconds>(last - first);
        const auto desired = static_cast<std::size_t>(desiredCount);
        for (const auto& step : kSteps) {
            if (span / step.approximate > 4 * desiredCount) continue;  // far too many marks to count
            auto marks = marksOf(step, first, last, calendar, 4 * desired);
            const auto count = marks.size();
            const auto distance = [&](std::size_t n) { return n > desired ? n - desired : desired - n; };
            if (!chosen || distance(count) < distance(dates.size())) {
                chosen = step;
                dates = std::move(marks);
            }
            if (count <= desired) break;  // coarser steps only come further from the count
        }
    }
    std::vector<TimeAxisMark> result;
    if (!chosen) return result;
    Labeler label(skeletonOf(chosen->kind), calendar, localeName);
    for (const auto date : dates) result.push_back({date, label(date)});
    return result;
}

}  // namespace ostrel
