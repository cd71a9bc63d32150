#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "PlatformAdapters/NettopOutput.hpp"
#include "PlatformAdapters/TextRules.hpp"
#include "PlatformAdapters/TrafficAttributionLayer.hpp"

namespace ostrel {
namespace {

constexpr std::size_t maxAttributedRows = 12;

// count / sum * total, truncated toward zero and raised to 0. Negative counts are kept by the
// parser, so the share can exceed 1; the result is clamped instead of overflowing.
std::int64_t scaledCount(std::int64_t count, std::int64_t sum, std::int64_t total) {
    if (sum < 1) return 0;
    const double scaled =
        std::trunc(static_cast<double>(count) / static_cast<double>(sum) * static_cast<double>(total));
    if (!(scaled > 0)) return 0;
    if (scaled >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(scaled);
}

std::string normalisedName(std::string_view name) {
    std::string out;
    for (const char c : text::lowercased(name)) {
        if (c != ' ' && c != '-' && c != '_') out.push_back(c);
    }
    return out;
}

bool namesMatch(const std::string& appName, const std::string& command) {
    // An empty normalised name would be a prefix of everything and swallow every command.
    if (appName.empty() || command.empty()) return false;
    if (appName == command) return true;
    const std::string stem = command.back() == '.' ? command.substr(0, command.size() - 1) : command;
    if (stem.empty()) return false;
    return text::startsWith(appName, stem) || text::startsWith(stem, appName);
}

}  // namespace

NettopTrafficAttributionProvider::NettopTrafficAttributionProvider(
    std::shared_ptr<ToolRunner> toolRunner, ToolPaths toolPaths,
    std::shared_ptr<RunningApplications> runningApplications)
    : toolRunner_(std::move(toolRunner)),
      toolPaths_(std::move(toolPaths)),
      runningApplications_(std::move(runningApplications)) {}

std::vector<AppUsageAttribution> NettopTrafficAttributionProvider::attributedUsage(std::int64_t totalRxBytes,
                                                                                   std::int64_t totalTxBytes) {
    if (totalRxBytes <= 0 && totalTxBytes <= 0) return {};
    if (!toolRunner_) return {};
    const auto output = toolRunner_->runCommand(toolPaths_.nettop, {"-P", "-L", "1", "-s", "1", "-x"});
    if (!output || output->empty()) return {};

    const auto rows = parseNettopOutput(*output);
    if (rows.empty()) return {};

    std::int64_t rxSum = 0;
    std::int64_t txSum = 0;
    for (const auto& row : rows) {
        rxSum = saturatingAdd(rxSum, row.rx);
        txSum = saturatingAdd(txSum, row.tx);
    }
    if (rxSum <= 0 && txSum <= 0) return {};

    std::vector<AppUsageAttribution> attributions;
    const auto kept = std::min(rows.size(), maxAttributedRows);
    for (std::size_t i = 0; i < kept; ++i) {
        const auto& row = rows[i];
        const auto rx = scaledCount(row.rx, rxSum, totalRxBytes);
        const auto tx = scaledCount(row.tx, txSum, totalTxBytes);
        // The tool's row for the traffic it could not place on any process.
        if (row.pid == 0) {
            attributions.push_back(TrafficAttributionLayer::unattributed(rx, tx));
            continue;
        }
        auto identity = resolveAppIdentity(row.command, row.pid);
        AppUsageAttribution attribution;
        attribution.appID = identity.bundleID;
        attribution.bundleID = std::move(identity.bundleID);
        attribution.name = std::move(identity.name);
        attribution.iconPath = std::move(identity.iconPath);
        attribution.rxBytes = rx;
        attribution.txBytes = tx;
        attribution.confidence = 0.55;
        attribution.source = "nettop";
        attributions.push_back(std::move(attribution));
    }
    return attributions;
}

NettopTrafficAttributionProvider::AppIdentity NettopTrafficAttributionProvider::resolveAppIdentity(
    const std::string& command, std::optional<std::int32_t> pid) {
    const auto fromApplication = [&](const RunningApplication& app) {
        return AppIdentity{*app.bundleIdentifier, app.localizedName.value_or(command), app.bundlePath};
    };
    if (runningApplications_) {
        if (pid) {
            const auto app = runningApplications_->applicationWithProcessIdentifier(*pid);
            if (app && app->bundleIdentifier) return fromApplication(*app);
        }
        const auto normalisedCommand = normalisedName(command);
        for (const auto& app : runningApplications_->runningApplications()) {
            if (!app.localizedName) continue;
            if (!namesMatch(normalisedName(*app.localizedName), normalisedCommand)) continue;
            if (app.bundleIdentifier) return fromApplication(app);
            break;
        }
    }
    return AppIdentity{"process." + text::replacingAll(text::lowercased(command), " ", "-"), command, std::nullopt};
}

}  // namespace ostrel
