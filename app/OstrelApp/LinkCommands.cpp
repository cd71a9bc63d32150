#include "OstrelApp/LinkCommands.hpp"

#include <QDesktopServices>
#include <QMessageBox>

namespace ostrel {
namespace {

// Only an absolute address can be handed to the desktop.
std::optional<QUrl> urlOf(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;
    return url;
}

void showInfoAlert(const QString& title, const QString& message) {
    QMessageBox alert(QMessageBox::Information, title, title, QMessageBox::Ok);
    alert.setInformativeText(message);
    alert.exec();
}

}  // namespace

LinkCommands::LinkCommands(BundleInfo info, Opener open, Alert alert)
    : info_(std::move(info)),
      open_(open ? std::move(open) : Opener(&QDesktopServices::openUrl)),
      alert_(alert ? std::move(alert) : Alert(&showInfoAlert)) {}

void LinkCommands::openSupport() {
    open("OstrelSupportURL", supportFallback, "Support Ostrel", "Support link is not configured for this build.");
}

void LinkCommands::checkForUpdates() {
    open("OstrelUpdatesURL", websiteFallback, "Check for Updates",
         "Download the latest release from the Ostrel website to update this build.");
}

void LinkCommands::openDeveloper() {
    open("OstrelDeveloperURL", websiteFallback, "Ostrel Website",
         "Ostrel website link is not configured for this build.");
}

bool LinkCommands::openConfiguredURL(const char* infoKey, const std::optional<QString>& fallback) {
    if (const auto value = info_.string(infoKey)) {
        if (const auto url = urlOf(QString::fromStdString(*value)); url && open_(*url)) return true;
    }
    if (fallback) {
        if (const auto url = urlOf(*fallback); url && open_(*url)) return true;
    }
    return false;
}

void LinkCommands::open(const char* infoKey, const char* fallback, const char* title, const char* message) {
    if (!openConfiguredURL(infoKey, QString::fromLatin1(fallback))) {
        alert_(QString::fromLatin1(title), QString::fromLatin1(message));
    }
}

}  // namespace ostrel
