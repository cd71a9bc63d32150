#include "Platform/Utf8.hpp"

namespace ostrel {

std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + extra >= text.size()) return std::nullopt;
    for (std::size_t i = 1; i <= extra; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (byte(pos + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    length = extra + 1;
    return value;
}

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t pos = 0, length = 0; pos < bytes.size(); pos += length) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            length = 1;
        } else if (!decodeUtf8At(bytes, pos, length)) {
            return false;
        }
    }
    return true;
}

std::string utf8Repaired(std::string_view text, std::string_view replacement) {
    std::string repaired;
    repaired.reserve(text.size());
    for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
        if (decodeUtf8At(text, pos, length)) {
            repaired.append(text.substr(pos, length));
        } else {
            repaired.append(replacement);
            length = 1;
        }
    }
    return repaired;
}

}  // namespace ostrel
