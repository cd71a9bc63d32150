#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "Platform/NotificationCenter.hpp"
#include "Platform/SerialQueue.hpp"

namespace ostrel {

// Desktop notifications over the session bus (org.freedesktop.Notifications). Authorization is
// the notification server answering GetServerInformation; a request is one Notify call. The
// calls run one at a time on the centre's own queue, each on a fresh connection and bounded as a
// whole, connecting included, by the time limit: a missing or stuck bus or server costs an error
// answer, never a blocked caller.
//
// Notify's replaces-id is a number the server hands out, so every request passes 0 (a new
// notification, never a replacement) and carries its identifier in the vendor hint
// "x-ostrel-identifier". The default sound is the hint "sound-name" "message-new-instant".
class DbusNotificationCenter final : public NotificationCenter {
public:
    static constexpr const char* queueLabel = "ostrel.notifications.queue";
    static constexpr const char* applicationName = "Ostrel";
    static constexpr std::chrono::milliseconds defaultTimeLimit{2000};

    // No address: the user's session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus).
    explicit DbusNotificationCenter(std::optional<std::string> busAddress = std::nullopt,
                                    std::chrono::milliseconds timeLimit = defaultTimeLimit);

    void requestAuthorization(AuthorizationHandler handler) override;
    void add(NotificationRequest request, CompletionHandler handler) override;

private:
    std::optional<std::string> busAddress_;
    std::chrono::milliseconds timeLimit_;
    SerialQueue queue_;  // last: queued work still runs while the fields above exist
};

}  // namespace ostrel
