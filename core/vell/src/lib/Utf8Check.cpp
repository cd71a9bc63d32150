#include "lib/Utf8Check.hpp"

#include <cstdint>
#include <cstring>

namespace ostrel::vell {
namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string invalid(std::size_t length, std::size_t index) {
    return "invalid utf-8 sequence of " + std::to_string(length) + " bytes from index " + std::to_string(index);
}

}  // namespace

std::optional<std::string> findUtf8Fault(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        // Requests are mostly ASCII: skip 32 bytes at a time while no high bit is set.
        while (i + 32 <= size) {
            std::uint64_t words[4];
            std::memcpy(words, bytes + i, 32);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0) break;
            i += 32;
        }
        if (i >= size) break;
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The bytes that may follow each lead byte (no overlong forms, no surrogates, <= U+10FFFF).
        std::size_t width = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            width = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            width = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            width = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return invalid(1, i);
        }
        for (std::size_t k = 1; k < width; ++k) {
            if (i + k >= size) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
            const unsigned char c = bytes[i + k];
            const bool fits = k == 1 ? (c >= low && c <= high) : isContinuation(c);
            if (!fits) return invalid(k, i);
        }
        i += width;
    }
    return std::nullopt;
}

}  // namespace ostrel::vell
