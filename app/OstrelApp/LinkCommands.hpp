#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

#include "Platform/BundleInfo.hpp"

namespace ostrel {

// The tray menu's three links: the address from Info.json, else a built-in one, else an
// informational alert saying why nothing opened.
class LinkCommands final {
public:
    static constexpr const char* supportFallback = "mailto:support@ostrel.app";
    static constexpr const char* websiteFallback = "https://ostrel.app";

    using Opener = std::function<bool(const QUrl&)>;
    using Alert = std::function<void(const QString& title, const QString& message)>;

    // By default through the desktop's URL handler and a modal message box.
    explicit LinkCommands(BundleInfo info, Opener open = {}, Alert alert = {});

    void openSupport();
    void checkForUpdates();
    void openDeveloper();

    // The key's value when it is a text that forms a URL and opens, else the fallback when it
    // forms a URL and opens; whether something opened.
    bool openConfiguredURL(const char* infoKey, const std::optional<QString>& fallback);

private:
    void open(const char* infoKey, const char* fallback, const char* title, const char* message);

    BundleInfo info_;
    Opener open_;
    Alert alert_;
};

}  // namespace ostrel
