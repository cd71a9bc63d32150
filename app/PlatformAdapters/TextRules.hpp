#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::text {

// Removes Unicode white space and line breaks from both ends.
std::string trimmed(std::string_view text);
// Removes only spaces and tabs from both ends.
std::string trimmedSpacesAndTabs(std::string_view text);
// Unicode simple lower-casing of UTF-8 text; bytes that are not UTF-8 pass through unchanged.
std::string lowercased(std::string_view text);

// A name from the system as it is stored, cleaned as the per-process helper cleans process names:
// each control character (U+0000 to U+001F, U+007F) and each byte that is not part of well-formed
// UTF-8 becomes '_'. The result is valid UTF-8 of the same length in bytes.
std::string cleanedName(std::string_view name);

bool startsWith(std::string_view text, std::string_view prefix);
bool contains(std::string_view text, std::string_view part);
std::string replacingAll(std::string_view text, std::string_view from, std::string_view to);

// Splits at '\n', dropping empty lines.
std::vector<std::string_view> nonEmptyLines(std::string_view text);
// Splits at the separator, keeping empty fields.
std::vector<std::string_view> fields(std::string_view text, char separator);

// A decimal integer: optional leading '+' or '-', digits only, within the type's range.
std::optional<std::int64_t> decimalInt64(std::string_view text);
std::optional<std::int32_t> decimalInt32(std::string_view text);

}  // namespace ostrel::text
