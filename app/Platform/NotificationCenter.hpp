#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ostrel {

// A notification shown at once.
struct NotificationRequest {
    std::string identifier;  // unique per post: no notification replaces another
    std::string title;
    std::string body;
    bool defaultSound = false;

    bool operator==(const NotificationRequest&) const = default;
};

// The user's notification centre. Answers arrive later, on a thread the centre chooses; an
// error is its description.
class NotificationCenter {
public:
    using AuthorizationHandler = std::function<void(bool granted, std::optional<std::string> error)>;
    using CompletionHandler = std::function<void(std::optional<std::string> error)>;

    virtual ~NotificationCenter() = default;
    virtual void requestAuthorization(AuthorizationHandler handler) = 0;
    virtual void add(NotificationRequest request, CompletionHandler handler) = 0;
};

}  // namespace ostrel
