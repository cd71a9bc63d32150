#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::vell {

// Describes the first sequence that is not UTF-8: "invalid utf-8 sequence of N bytes from index I",
// or "incomplete utf-8 byte sequence from index I" when the text ends inside a sequence.
std::optional<std::string> findUtf8Fault(std::string_view text);

}  // namespace ostrel::vell
