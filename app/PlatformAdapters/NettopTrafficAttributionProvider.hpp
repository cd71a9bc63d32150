#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Model/Records.hpp"
#include "Platform/RunningApplications.hpp"
#include "Platform/ToolPaths.hpp"
#include "Platform/ToolRunner.hpp"
#include "PlatformAdapters/TrafficAttributionProviding.hpp"

namespace ostrel {

// Weights the tick's totals by the per-process byte counts of the per-process tool and names
// each process after the application it belongs to.
class NettopTrafficAttributionProvider final : public TrafficAttributionProviding {
public:
    NettopTrafficAttributionProvider(std::shared_ptr<ToolRunner> toolRunner, ToolPaths toolPaths,
                                     std::shared_ptr<RunningApplications> runningApplications);

    std::vector<AppUsageAttribution> attributedUsage(std::int64_t totalRxBytes, std::int64_t totalTxBytes) override;

private:
    struct AppIdentity {
        std::string bundleID;
        std::string name;
        std::optional<std::string> iconPath;
    };

    AppIdentity resolveAppIdentity(const std::string& command, std::optional<std::int32_t> pid);

    std::shared_ptr<ToolRunner> toolRunner_;
    ToolPaths toolPaths_;
    std::shared_ptr<RunningApplications> runningApplications_;
};

}  // namespace ostrel
