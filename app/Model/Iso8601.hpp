#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Model/Date.hpp"

namespace ostrel {

// The one timestamp text of the program: UTC, three fraction digits, "Z"
// (2026-03-01T14:05:09.123Z), so that text order is time order. Thread-safe.
std::string ostrelISO8601String(Date date);

// Reads that form back; the fraction is required. Nothing for any other text.
std::optional<Date> ostrelISO8601Date(std::string_view text);

}  // namespace ostrel
