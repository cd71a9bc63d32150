#include "Persistence/RepositoryDecoding.hpp"

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"

namespace ostrel {

Date parseDate(const std::optional<std::string>& text, Date now) {
    if (!text) {
        return now;
    }
    if (const auto date = ostrelISO8601Date(*text)) {
        return *date;
    }
    return iso8601DateWithoutFraction(*text).value_or(now);
}

Date parseDayKey(std::string_view key, const Calendar& calendar, Date now) {
    return startOfDayKey(key, calendar).value_or(now);
}

NetworkType storedNetworkType(std::string_view text) {
    return networkTypeFromRaw(text).value_or(NetworkType::other);
}

NetworkResolutionState storedResolutionState(const std::optional<std::string>& text) {
    if (!text) {
        return NetworkResolutionState::unavailable;
    }
    return resolutionStateFromRaw(*text).value_or(NetworkResolutionState::unavailable);
}

std::vector<RankedUsage> withShare(std::vector<RankedUsage> rows) {
    double sum = 0;
    for (const auto& row : rows) {
        sum += static_cast<double>(row.rxBytes) + static_cast<double>(row.txBytes);
    }
    if (!(sum > 0)) {
        return rows;
    }
    for (auto& row : rows) {
        row.share = (static_cast<double>(row.rxBytes) + static_cast<double>(row.txBytes)) / sum;
    }
    return rows;
}

std::vector<ApplicationListItem> withAppShare(std::vector<ApplicationListItem> rows) {
    double sum = 0;
    for (const auto& row : rows) {
        sum += static_cast<double>(row.totalBytes);
    }
    if (!(sum > 0)) {
        return rows;
    }
    for (auto& row : rows) {
        row.share = static_cast<double>(row.totalBytes) / sum;
    }
    return rows;
}

}  // namespace ostrel
