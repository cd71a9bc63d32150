#pragma once

#include <memory>
#include <string>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"

namespace ostrel {

// The text of a busiest period: abbreviated month, day and hour as the locale arranges them
// ("Mar 10, 2 PM" in English, "10. März, 14 Uhr" in German), in the user's time zone.
class PeriodTextFormat final {
public:
    // An empty `localeName` is the user's locale.
    explicit PeriodTextFormat(const std::string& localeName = {});
    ~PeriodTextFormat();
    PeriodTextFormat(const PeriodTextFormat&) = delete;
    PeriodTextFormat& operator=(const PeriodTextFormat&) = delete;

    // Empty when the locale gives no pattern.
    std::string operator()(Date date, const Calendar& calendar) const;

private:
    struct Pattern;  // ICU's formatter, kept out of the includers' view
    std::unique_ptr<Pattern> pattern_;
};

}  // namespace ostrel
