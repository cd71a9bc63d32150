#include "PlatformAdapters/TextRules.hpp"

#include <locale.h>
#include <wctype.h>

#include <charconv>
#include <limits>

#include "Platform/Utf8.hpp"

namespace ostrel::text {
namespace {

void encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isWhitespaceOrNewline(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The C.UTF-8 locale carries the full Unicode case tables whatever the user's locale is; created
// once and never changed, so it is safe to share between threads.
locale_t unicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

std::string trimmed(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = 0;
        const auto c = decodeUtf8At(text, begin, length);
        if (!c || !isWhitespaceOrNewline(*c)) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last sequence.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4) --start;
        std::size_t length = 0;
        const auto c = decodeUtf8At(text, start, length);
        if (!c || start + length != end || !isWhitespaceOrNewline(*c)) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string trimmedSpacesAndTabs(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

std::string lowercased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const locale_t locale = unicodeLocale();
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = 1;
        const auto c = decodeUtf8At(text, pos, length);
        if (!c) {
            out.push_back(text[pos]);
            pos += 1;
            continue;
        }
        if (*c < 0x80) {
            out.push_back(static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c + ('a' - 'A') : *c));
        } else if (locale != static_cast<locale_t>(nullptr)) {
            encode(static_cast<char32_t>(towlower_l(static_cast<wint_t>(*c), locale)), out);
        } else {
            out.append(text.substr(pos, length));
        }
        pos += length;
    }
    return out;
}

std::string cleanedName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        std::size_t length = 1;
        const auto c = decodeUtf8At(name, pos, length);
        if (!c || *c < 0x20 || *c == 0x7F) {
            out.push_back('_');
            pos += 1;
            continue;
        }
        out.append(name.substr(pos, length));
        pos += length;
    }
    return out;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string replacingAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    if (from.empty()) return std::string(text);
    std::size_t pos = 0;
    for (auto hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, pos)) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (auto field : fields(text, '\n')) {
        if (!field.empty()) lines.push_back(field);
    }
    return lines;
}

std::vector<std::string_view> fields(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (true) {
        const auto hit = text.find(separator, pos);
        if (hit == std::string_view::npos) {
            out.push_back(text.substr(pos));
            return out;
        }
        out.push_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
}

namespace {

template <typename T>
std::optional<T> decimal(std::string_view text) {
    // One sign at most: from_chars takes a '-' itself, but "+-5" must not pass as -5.
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    const std::string_view digits = (!plus && !text.empty() && text.front() == '-') ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int64_t> decimalInt64(std::string_view text) {
    return decimal<std::int64_t>(text);
}
std::optional<std::int32_t> decimalInt32(std::string_view text) {
    return decimal<std::int32_t>(text);
}

}  // namespace ostrel::text
