#include "Services/TodaysLeaders.hpp"

#include <utility>
#include <vector>

#include "Persistence/OstrelRepository.hpp"

namespace ostrel {
namespace {

std::optional<std::string> firstTitle(const std::vector<RankedUsage>& rows) {
    return rows.empty() ? std::nullopt : std::optional<std::string>(rows.front().title);
}

}  // namespace

TodaysLeaders todaysLeaders(OstrelRepository& repository, const DateRange& today) {
    // Rankings are the same over any rows that stand for the samples.
    const auto reading = RawReading::wholeHoursFromRollups(RowBuckets::none);
    TodaysLeaders leaders;
    if (auto active = repository.fetchActiveNetworkIdentity()) leaders.activeNetwork = std::move(active->name);
    leaders.topApp = firstTitle(repository.fetchTopApplications(today, 1, reading));
    leaders.topNetwork = firstTitle(repository.fetchTopNetworks(today, 1, reading));
    return leaders;
}

}  // namespace ostrel
