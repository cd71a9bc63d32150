#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace ostrel {

// The code point of the UTF-8 sequence at `pos` (which must lie inside `text`) and, through
// `length`, its length in bytes; none when the bytes there are not well formed (overlong, a
// surrogate, past U+10FFFF, cut short), and then `length` is left as it was.
std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length);

}  // namespace ostrel
