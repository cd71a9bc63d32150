#include "Model/DisplayName.hpp"

#include <optional>

#include "Platform/Utf8.hpp"

namespace ostrel {
namespace {

bool isControlOrBreak(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// LRE, RLE, PDF, LRO, RLO and LRI, RLI, FSI, PDI.
bool isDirectionControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string singleLineName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        std::size_t length = 1;
        const auto c = decodeUtf8At(name, pos, length);
        if (!c) {
            out += "\uFFFD";
        } else if (isControlOrBreak(*c)) {
            out += ' ';
        } else if (!isDirectionControl(*c)) {
            out.append(name.substr(pos, length));
        }
        pos += length;
    }
    return out;
}

std::string isolatedName(std::string_view name) {
    std::string out(kFirstStrongIsolate);
    out += singleLineName(name);
    out += kPopDirectionalIsolate;
    return out;
}

}  // namespace ostrel
