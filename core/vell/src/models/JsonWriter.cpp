#include "models/JsonWriter.hpp"

#include <charconv>
#include <cmath>

#include "models/DateTimeText.hpp"

namespace ostrel::vell {

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_) out_.push_back(',');
    first_ = false;
}

void JsonWriter::key(std::string_view name) {
    string(name);
    out_.push_back(':');
    afterKey_ = true;
}

void JsonWriter::string(std::string_view value) {
    separate();
    static constexpr char kHex[] = "0123456789abcdef";
    out_.push_back('"');
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out_.append(value.substr(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        out_.push_back('\\');
        switch (c) {
            case '"':
            case '\\':
                out_.push_back(static_cast<char>(c));
                break;
            case '\b':
                out_.push_back('b');
                break;
            case '\t':
                out_.push_back('t');
                break;
            case '\n':
                out_.push_back('n');
                break;
            case '\f':
                out_.push_back('f');
                break;
            case '\r':
                out_.push_back('r');
                break;
            default:
                out_.append("u00");
                out_.push_back(kHex[c >> 4]);
                out_.push_back(kHex[c & 0xF]);
        }
    }
    out_.append(value.substr(plainFrom));
    out_.push_back('"');
}

void JsonWriter::unsignedInteger(std::uint64_t value) {
    separate();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void JsonWriter::boolean(bool value) {
    separate();
    out_.append(value ? "true" : "false");
}

void JsonWriter::number(double value) {
    separate();
    appendNumber(out_, value);
}

void JsonWriter::dateTime(Timestamp value) {
    separate();
    out_.push_back('"');
    appendDateTime(out_, value);
    out_.push_back('"');
}

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    if (value == 0.0) {
        out.append(std::signbit(value) ? "-0.0" : "0.0");
        return;
    }
    // Scientific form gives the shortest round-trip digits and the exponent of the leading one.
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t ePos = text.find('e');
    std::string_view mantissa = text.substr(0, ePos);
    int exponent = 0;
    std::from_chars(text.data() + ePos + (text[ePos + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);

    if (mantissa.front() == '-') {
        out.push_back('-');
        mantissa.remove_prefix(1);
    }
    std::string digits(1, mantissa.front());
    if (mantissa.size() > 2) digits.append(mantissa.substr(2));  // skip "d."
    const int count = static_cast<int>(digits.size());

    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            out.append("0.");
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out.append(digits);
        } else if (count <= exponent + 1) {
            out.append(digits);
            out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
            out.append(".0");
        } else {
            out.append(digits, 0, static_cast<std::size_t>(exponent + 1));
            out.push_back('.');
            out.append(digits, static_cast<std::size_t>(exponent + 1));
        }
        return;
    }
    out.push_back(digits.front());
    if (count > 1) {
        out.push_back('.');
        out.append(digits, 1);
    }
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    char expBuffer[8];
    const auto expResult = std::to_chars(expBuffer, expBuffer + sizeof expBuffer, exponent < 0 ? -exponent : exponent);
    out.append(expBuffer, expResult.ptr);
}

}  // namespace ostrel::vell
