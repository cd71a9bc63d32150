#include "models/DateTimeText.hpp"

#include <optional>

#include "timeframe/CivilDate.hpp"

namespace ostrel::vell {
namespace {

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }
    char peek() const { return text_[pos_]; }
    void skip() { ++pos_; }

    // Reads exactly `count` digits; the fault says why it could not.
    std::optional<DateTimeFault> digits(int count, unsigned& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (atEnd()) return DateTimeFault::prematureEnd;
            const char c = peek();
            if (c < '0' || c > '9') return DateTimeFault::invalidCharacters;
            value = value * 10 + static_cast<unsigned>(c - '0');
            skip();
        }
        return std::nullopt;
    }

    std::optional<DateTimeFault> expect(char wanted) {
        if (atEnd()) return DateTimeFault::prematureEnd;
        if (peek() != wanted) return DateTimeFault::invalidCharacters;
        skip();
        return std::nullopt;
    }

    std::optional<DateTimeFault> expectAny(std::string_view choices) {
        if (atEnd()) return DateTimeFault::prematureEnd;
        if (choices.find(peek()) == std::string_view::npos) return DateTimeFault::invalidCharacters;
        skip();
        return std::nullopt;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads the offset east of UTC in seconds.
std::variant<std::int64_t, DateTimeFault> readOffset(Cursor& in) {
    if (in.atEnd()) return DateTimeFault::prematureEnd;
    const char first = in.peek();
    if (first == 'Z' || first == 'z') {
        in.skip();
        return std::int64_t{0};
    }
    if (lower(first) == 'u') {
        in.skip();
        for (char wanted : {'t', 'c'}) {
            if (in.atEnd()) return DateTimeFault::prematureEnd;
            if (lower(in.peek()) != wanted) return DateTimeFault::invalidCharacters;
            in.skip();
        }
        return std::int64_t{0};
    }
    if (first != '+' && first != '-') return DateTimeFault::invalidCharacters;
    in.skip();
    unsigned hours = 0, minutes = 0;
    if (auto fault = in.digits(2, hours)) return *fault;
    if (!in.atEnd() && in.peek() == ':') in.skip();
    if (auto fault = in.digits(2, minutes)) return *fault;
    if (hours > 23 || minutes > 59) return DateTimeFault::outOfRange;
    const std::int64_t offset = static_cast<std::int64_t>(hours) * 3600 + minutes * 60;
    return first == '-' ? -offset : offset;
}

}  // namespace

std::string_view describe(DateTimeFault fault) {
    switch (fault) {
        case DateTimeFault::outOfRange:
            return "input is out of range";
        case DateTimeFault::impossible:
            return "no possible date and time matching input";
        case DateTimeFault::prematureEnd:
            return "premature end of input";
        case DateTimeFault::invalidCharacters:
            return "input contains invalid characters";
        case DateTimeFault::trailingInput:
            return "trailing input";
    }
    return "input contains invalid characters";
}

std::variant<Timestamp, DateTimeFault> readDateTime(std::string_view text) {
    Cursor in(text);
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::optional<DateTimeFault> fault;
    if ((fault = in.digits(4, year)) || (fault = in.expect('-')) || (fault = in.digits(2, month)) ||
        (fault = in.expect('-')) || (fault = in.digits(2, day)) || (fault = in.expectAny("Tt ")) ||
        (fault = in.digits(2, hour)) || (fault = in.expect(':')) || (fault = in.digits(2, minute)) ||
        (fault = in.expect(':')) || (fault = in.digits(2, second))) {
        return *fault;
    }
    std::uint32_t nanos = 0;
    if (!in.atEnd() && in.peek() == '.') {
        in.skip();
        if (in.atEnd()) return DateTimeFault::prematureEnd;
        int count = 0;
        for (; !in.atEnd() && in.peek() >= '0' && in.peek() <= '9'; in.skip(), ++count) {
            if (count < 9) nanos = nanos * 10 + static_cast<std::uint32_t>(in.peek() - '0');
        }
        if (count == 0) return DateTimeFault::invalidCharacters;
        for (; count < 9; ++count) nanos *= 10;
    }
    while (!in.atEnd() && isBlank(in.peek())) in.skip();
    const auto offset = readOffset(in);
    if (const auto* offsetFault = std::get_if<DateTimeFault>(&offset)) return *offsetFault;
    if (!in.atEnd()) return DateTimeFault::trailingInput;

    // A leap second (:60) reads as the first second of the next minute, as Unix time counts it.
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return DateTimeFault::outOfRange;
    }
    if (day > daysInMonth(year, month)) return DateTimeFault::impossible;
    const std::int64_t days = daysFromCivil(CivilDate{year, month, day});
    const std::int64_t seconds =
        days * 86400 + hour * 3600 + minute * 60 + second - std::get<std::int64_t>(offset);
    return Timestamp{seconds, nanos};
}

namespace {

void appendDigits(std::string& out, std::uint64_t value, int width) {
    char buffer[24];
    int length = 0;
    do {
        buffer[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = length; i < width; ++i) out.push_back('0');
    while (length > 0) out.push_back(buffer[--length]);
}

}  // namespace

void appendDateTime(std::string& out, Timestamp instant) {
    const std::int64_t days = floorDiv(instant.seconds, 86400);
    const std::int64_t secondOfDay = instant.seconds - days * 86400;
    const CivilDate date = civilFromDays(days);
    if (date.year < 0) {
        out.push_back('-');
        appendDigits(out, static_cast<std::uint64_t>(-(date.year + 1)) + 1, 4);
    } else {
        if (date.year > 9999) out.push_back('+');
        appendDigits(out, static_cast<std::uint64_t>(date.year), 4);
    }
    out.push_back('-');
    appendDigits(out, date.month, 2);
    out.push_back('-');
    appendDigits(out, date.day, 2);
    out.push_back('T');
    appendDigits(out, static_cast<std::uint64_t>(secondOfDay / 3600), 2);
    out.push_back(':');
    appendDigits(out, static_cast<std::uint64_t>(secondOfDay / 60 % 60), 2);
    out.push_back(':');
    appendDigits(out, static_cast<std::uint64_t>(secondOfDay % 60), 2);
    if (instant.nanos != 0) {
        out.push_back('.');
        if (instant.nanos % 1'000'000 == 0) {
            appendDigits(out, instant.nanos / 1'000'000, 3);
        } else if (instant.nanos % 1'000 == 0) {
            appendDigits(out, instant.nanos / 1'000, 6);
        } else {
            appendDigits(out, instant.nanos, 9);
        }
    }
    out.push_back('Z');
}

}  // namespace ostrel::vell
