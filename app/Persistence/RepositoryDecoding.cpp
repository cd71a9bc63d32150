#include "Persistence/RepositoryDecoding.hpp"

#include <utility>

#include "Model/Iso8601.hpp"

namespace ostrel {

Date parseDate(const std::optional<std::string>& text, Date now) {
    if (!text) return now;
    if (const auto date = ostrelISO8601Date(*text)) return *date;
    return iso8601DateWithoutFraction(*text).value_or(now);
}

NetworkType storedNetworkType(std::string_view text) {
    return networkTypeFromRaw(text).value_or(NetworkType::other);
}

NetworkResolutionState storedResolutionState(const std::optional<std::string>& text) {
    return (text ? resolutionStateFromRaw(*text) : std::nullopt).value_or(NetworkResolutionState::unavailable);
}

namespace {

template <class Row, class Total>
std::vector<Row> withShares(std::vector<Row> rows, Total total) {
    double sum = 0;
    for (const auto& row : rows) sum += total(row);
    if (!(sum > 0)) return rows;
    for (auto& row : rows) row.share = total(row) / sum;
    return rows;
}

}  // namespace

std::vector<RankedUsage> withShare(std::vector<RankedUsage> rows) {
    return withShares(std::move(rows), [](const RankedUsage& row) {
        return static_cast<double>(row.rxBytes) + static_cast<double>(row.txBytes);
    });
}

std::vector<ApplicationListItem> withAppShare(std::vector<ApplicationListItem> rows) {
    return withShares(std::move(rows),
                      [](const ApplicationListItem& row) { return static_cast<double>(row.totalBytes); });
}

}  // namespace ostrel
