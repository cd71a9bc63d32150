#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The program's one UTF-8 reader, strict: no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut short.

// The code point of the sequence at `pos` (which must lie inside `text`) and, through `length`,
// its length in bytes; none when the bytes there are not well formed, and then `length` is left
// as it was.
std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length);

bool isValidUtf8(std::string_view bytes);

// `text` with each byte that starts no well-formed sequence replaced by `replacement`.
std::string utf8Repaired(std::string_view text, std::string_view replacement);

}  // namespace ostrel
