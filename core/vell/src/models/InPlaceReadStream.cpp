#include "models/InPlaceReadStream.hpp"

namespace ostrel::vell {
namespace {

unsigned hexValue(std::string_view four) {
    unsigned value = 0;
    for (char c : four) {
        value <<= 4;
        if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
    }
    return value;
}

void appendUtf8(std::string& out, unsigned codepoint) {
    if (codepoint < 0x80) {
        out.push_back(static_cast<char>(codepoint));
    } else if (codepoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codepoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codepoint & 0x3F)));
    } else if (codepoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codepoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codepoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codepoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codepoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codepoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codepoint & 0x3F)));
    }
}

char simpleEscape(char c) {
    switch (c) {
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return c;  // '"', '\\' and '/' stand for themselves
    }
}

}  // namespace

void decodeEscapes(std::string_view body, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 >= body.size()) {
            out.push_back(body[i]);
            continue;
        }
        const char kind = body[++i];
        if (kind != 'u') {
            out.push_back(simpleEscape(kind));
            continue;
        }
        if (i + 4 >= body.size()) break;  // the reader has refused such a string already
        unsigned codepoint = hexValue(body.substr(i + 1, 4));
        i += 4;
        // The reader accepts a high surrogate only when a \uXXXX low one follows.
        if (codepoint >= 0xD800 && codepoint <= 0xDBFF && i + 6 < body.size() && body[i + 1] == '\\' &&
            body[i + 2] == 'u') {
            const unsigned low = hexValue(body.substr(i + 3, 4));
            codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
        }
        appendUtf8(out, codepoint);
    }
}

}  // namespace ostrel::vell
