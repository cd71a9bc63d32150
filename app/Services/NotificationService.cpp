#include "Services/NotificationService.hpp"

#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"
#include "Services/SecondsText.hpp"

namespace ostrel {

NotificationService::NotificationService(std::shared_ptr<NotificationCenter> center,
                                         std::optional<std::string> bundleIdentifier, std::shared_ptr<LogSink> log,
                                         std::function<Date()> clock)
    : center_(std::move(center)),
      bundleIdentifier_(std::move(bundleIdentifier)),
      log_(std::move(log)),
      clock_(std::move(clock)) {}

void NotificationService::requestPermissionIfNeeded() {
    if (!bundleIdentifier_) return;
    center_->requestAuthorization([log = log_](bool granted, std::optional<std::string> error) {
        if (error) log->log("Notification permission error: " + *error);
        if (!granted) log->log("Notification permission not granted");
    });
}

void NotificationService::notifyThreshold(AlertLevel level, const UsageSummary& summary) {
    if (level == AlertLevel::normal || !bundleIdentifier_) return;
    NotificationRequest request;
    request.title = std::string("Ostrel ") + (level == AlertLevel::warning ? "Warning" : "Danger") + " Threshold";
    request.body = "Today reached " + byteString(saturatingAdd(summary.rxBytes, summary.txBytes)) + " of traffic.";
    request.defaultSound = true;
    request.identifier = "ostrel.threshold." + std::string(rawValue(level)) + "." + secondsSince1970Text(clock_());
    center_->add(std::move(request), [log = log_](std::optional<std::string> error) {
        if (error) log->log("Failed to schedule threshold notification: " + *error);
    });
}

}  // namespace ostrel
