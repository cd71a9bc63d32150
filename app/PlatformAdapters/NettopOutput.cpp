#include "PlatformAdapters/NettopOutput.hpp"

#include <algorithm>

#include "Model/SaturatingAdd.hpp"
#include "PlatformAdapters/TextRules.hpp"

namespace ostrel {
std::vector<NettopProcessRow> parseNettopOutput(std::string_view output) {
    const auto lines = text::nonEmptyLines(output);
    if (lines.empty()) return {};

    // Empty header fields count as columns: the process column has no name, and dropping it
    // would shift every later position off its value in the data lines.
    std::optional<std::size_t> rxColumn;
    std::optional<std::size_t> txColumn;
    const auto header = text::fields(lines.front(), ',');
    for (std::size_t i = 0; i < header.size(); ++i) {
        const auto name = text::lowercased(text::trimmed(header[i]));
        if (name == "bytes_in" && !rxColumn) rxColumn = i;
        if (name == "bytes_out" && !txColumn) txColumn = i;
    }
    if (!rxColumn || !txColumn) return {};

    std::vector<NettopProcessRow> rows;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        std::vector<std::string> values;
        for (const auto field : text::fields(lines[l], ',')) values.push_back(text::trimmed(field));
        if (values.size() <= 1 || *rxColumn >= values.size() || *txColumn >= values.size()) continue;

        const auto& label = values[1];
        if (label.empty() || text::lowercased(label) == "processes:") continue;

        const auto rx = text::decimalInt64(values[*rxColumn]).value_or(0);
        const auto tx = text::decimalInt64(values[*txColumn]).value_or(0);
        if (rx == 0 && tx == 0) continue;

        auto split = splitProcessLabel(label);
        rows.push_back({std::move(split.name), split.pid, rx, tx});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const NettopProcessRow& a, const NettopProcessRow& b) {
        return saturatingAdd(a.rx, a.tx) > saturatingAdd(b.rx, b.tx);
    });
    return rows;
}

ProcessLabel splitProcessLabel(std::string_view label) {
    auto whole = text::trimmed(label);
    const auto dot = whole.rfind('.');
    if (dot == std::string::npos) return {whole, std::nullopt};
    const auto suffix = std::string_view(whole).substr(dot + 1);
    auto prefix = text::trimmed(std::string_view(whole).substr(0, dot));
    const auto pid = text::decimalInt32(suffix);
    if (!pid || prefix.empty()) return {whole, std::nullopt};
    return {std::move(prefix), pid};
}

}  // namespace ostrel
