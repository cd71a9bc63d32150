#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One process line of the per-process tool.
struct NettopProcessRow {
    std::string command;
    std::optional<std::int32_t> pid;
    std::int64_t rx = 0;
    std::int64_t tx = 0;

    bool operator==(const NettopProcessRow&) const = default;
};

struct ProcessLabel {
    std::string name;
    std::optional<std::int32_t> pid;

    bool operator==(const ProcessLabel&) const = default;
};

// The process rows with any traffic, largest combined count first (ties keep their order).
std::vector<NettopProcessRow> parseNettopOutput(std::string_view output);
// "name.pid" into its parts; a label without a usable pid stays whole.
ProcessLabel splitProcessLabel(std::string_view label);

}  // namespace ostrel
