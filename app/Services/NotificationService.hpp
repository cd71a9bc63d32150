#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/NotificationCenter.hpp"

namespace ostrel {

// Asks once for permission to show notifications and posts one when a timeframe's usage is at
// the warning or danger level. A program without a bundle identifier does neither. Answers and
// failures arrive later and are only logged; no call blocks on the notification centre.
class NotificationService final {
public:
    NotificationService(std::shared_ptr<NotificationCenter> center, std::optional<std::string> bundleIdentifier,
                        std::shared_ptr<LogSink> log, std::function<Date()> clock = currentDate);

    void requestPermissionIfNeeded();
    // Nothing for the normal level. Safe from any thread.
    void notifyThreshold(AlertLevel level, const UsageSummary& summary);

private:
    std::shared_ptr<NotificationCenter> center_;
    std::optional<std::string> bundleIdentifier_;
    std::shared_ptr<LogSink> log_;
    std::function<Date()> clock_;
};

}  // namespace ostrel
