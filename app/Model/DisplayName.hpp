#pragma once

#include <string>
#include <string_view>

// Names that come from outside (applications, networks, interfaces) are shown as one line of
// plain text that cannot rearrange what is around it.
namespace ostrel {

// The name on one line: bytes that are not UTF-8 become U+FFFD, line breaks, tabs and other
// control characters become spaces, and the explicit direction controls (embeddings, overrides,
// isolates) are left out, so that the name reads in the order of its characters.
std::string singleLineName(std::string_view name);

// U+2068 FIRST STRONG ISOLATE, the name on one line, U+2069 POP DIRECTIONAL ISOLATE: a
// right-to-left name neither takes nor gives direction to the text beside it.
std::string isolatedName(std::string_view name);

inline constexpr std::string_view kFirstStrongIsolate = "\u2068";
inline constexpr std::string_view kPopDirectionalIsolate = "\u2069";

}  // namespace ostrel
