#include "ranking/Thresholds.hpp"

namespace ostrel::vell {

ThresholdResponse evaluateThresholds(const ThresholdRequest& request) {
    const std::uint64_t total = request.totalBytes;
    const std::uint64_t warning = request.warningThresholdBytes;
    const std::uint64_t danger = request.dangerThresholdBytes;
    ThresholdResponse response;
    response.exceedsWarning = warning > 0 && total >= warning;
    response.exceedsDanger = danger > 0 && total >= danger;
    response.level = response.exceedsDanger    ? AlertLevel::danger
                     : response.exceedsWarning ? AlertLevel::warning
                                               : AlertLevel::normal;
    response.usageRatio = warning > 0 ? static_cast<double>(total) / static_cast<double>(warning) : 0.0;
    return response;
}

}  // namespace ostrel::vell
