#include "Model/Iso8601.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace ostrel {
namespace {

using namespace std::chrono;

enum class Fraction { required, forbidden };

// Cursor over the text; every read is bounds-checked and digits-only.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool digits(std::size_t count, int& value) {
        if (text_.size() - pos_ < count) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        pos_ += count;
        return true;
    }

    bool literal(char expected) {
        if (pos_ < text_.size() && text_[pos_] == expected) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool peek(char expected) const { return pos_ < text_.size() && text_[pos_] == expected; }
    bool atEnd() const { return pos_ == text_.size(); }

    // 1 to 9 digits as nanoseconds.
    bool fraction(std::int64_t& nanos) {
        std::size_t count = 0;
        nanos = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            if (++count > 9) {
                return false;
            }
            nanos = nanos * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (count == 0) {
            return false;
        }
        for (std::size_t i = count; i < 9; ++i) {
            nanos *= 10;
        }
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Whole seconds that Date (int64 nanoseconds since 1970) can hold with any fraction added.
constexpr std::int64_t kMinSeconds = -9'223'372'035;
constexpr std::int64_t kMaxSeconds = 9'223'372'035;

std::optional<Date> parse(std::string_view text, Fraction fractionRule) {
    Reader in(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!(in.digits(4, y) && in.literal('-') && in.digits(2, mo) && in.literal('-') && in.digits(2, d) &&
          in.literal('T') && in.digits(2, h) && in.literal(':') && in.digits(2, mi) && in.literal(':') &&
          in.digits(2, s))) {
        return std::nullopt;
    }
    std::int64_t nanos = 0;
    if (fractionRule == Fraction::required) {
        if (!in.literal('.') || !in.fraction(nanos)) {
            return std::nullopt;
        }
    } else if (in.peek('.')) {
        return std::nullopt;
    }

    std::int64_t offsetSeconds = 0;
    if (!in.literal('Z')) {
        const bool east = in.peek('+');
        if (!in.literal('+') && !in.literal('-')) {
            return std::nullopt;
        }
        int oh = 0, om = 0;
        if (!(in.digits(2, oh) && in.literal(':') && in.digits(2, om)) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = (east ? 1 : -1) * (oh * 3600 + om * 60);
    }
    if (!in.atEnd()) {
        return std::nullopt;
    }

    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }
    const std::int64_t daySeconds = static_cast<std::int64_t>(sys_days{ymd}.time_since_epoch().count()) * 86'400;
    const std::int64_t seconds = daySeconds + h * 3600 + mi * 60 + s - offsetSeconds;
    if (seconds < kMinSeconds || seconds > kMaxSeconds) {
        return std::nullopt;
    }
    return Date{std::chrono::seconds{seconds} + nanoseconds{nanos}};
}

}  // namespace

std::string ostrelISO8601String(Date date) {
    // Pure arithmetic on the value: nothing shared, so any thread may call it.
    const auto millis = floor<milliseconds>(date);
    const auto dayStart = floor<days>(millis);
    const year_month_day ymd{dayStart};
    const hh_mm_ss<milliseconds> time{millis - dayStart};
    std::array<char, 32> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                                     static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                                     static_cast<unsigned>(ymd.day()), static_cast<int>(time.hours().count()),
                                     static_cast<int>(time.minutes().count()),
                                     static_cast<int>(time.seconds().count()),
                                     static_cast<int>(time.subseconds().count()));
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<Date> ostrelISO8601Date(std::string_view text) {
    return parse(text, Fraction::required);
}

std::optional<Date> iso8601DateWithoutFraction(std::string_view text) {
    return parse(text, Fraction::forbidden);
}

}  // namespace ostrel
