#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "OstrelApp/UrlOpener.hpp"
#include "Platform/BundleInfo.hpp"

namespace ostrel {

// The tray menu's three links: the address from Info.json, else a built-in one, else an
// informational alert saying why nothing opened. The desktop answers later: each command returns
// at once, and its alert shows once every address it tried has failed.
class LinkCommands final {
public:
    static constexpr const char* supportFallback = "mailto:support@ostrel.app";
    static constexpr const char* websiteFallback = "https://ostrel.app";

    using Alert = std::function<void(const QString& title, const QString& message)>;

    // By default through xdg-open and a modal message box.
    explicit LinkCommands(BundleInfo info, std::shared_ptr<UrlOpener> opener = {}, Alert alert = {});

    void openSupport();
    void checkForUpdates();
    void openDeveloper();

    // The key's value when it is a text that forms a URL and opens, else the fallback when it
    // forms a URL and opens; `done` hears whether something opened, unless the opener is gone by
    // then.
    void openConfiguredURL(const char* infoKey, const std::optional<QString>& fallback,
                           std::function<void(bool opened)> done);

private:
    void open(const char* infoKey, const char* fallback, const char* title, const char* message);

    BundleInfo info_;
    std::shared_ptr<UrlOpener> opener_;
    Alert alert_;
};

}  // namespace ostrel
