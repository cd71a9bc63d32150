#include "OstrelApp/LinkCommands.hpp"

#include <QMessageBox>
#include <cstddef>
#include <utility>
#include <vector>

#include "OstrelApp/XdgUrlOpener.hpp"

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

// Each address in turn until one opens. The opener is held weakly: the commands own it, and an
// answer that comes after they are gone is dropped with it.
void openFirst(const std::weak_ptr<UrlOpener>& opener, std::vector<QUrl> urls, std::size_t next,
               std::function<void(bool)> done) {
    if (next == urls.size()) {
        done(false);
        return;
    }
    const auto alive = opener.lock();
    if (!alive) return;
    const QUrl url = urls[next];
    alive->open(url, [opener, urls = std::move(urls), next, done = std::move(done)](bool opened) mutable {
        if (opened) {
            done(true);
        } else {
            openFirst(opener, std::move(urls), next + 1, std::move(done));
        }
    });
}

}  // namespace

LinkCommands::LinkCommands(BundleInfo info, std::shared_ptr<UrlOpener> opener, Alert alert)
    : info_(std::move(info)),
      opener_(opener ? std::move(opener) : std::make_shared<XdgUrlOpener>()),
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

void LinkCommands::openConfiguredURL(const char* infoKey, const std::optional<QString>& fallback,
                                     std::function<void(bool opened)> done) {
    std::vector<QUrl> urls;
    if (const auto value = info_.string(infoKey)) {
        if (const auto url = urlOf(QString::fromStdString(*value))) urls.push_back(*url);
    }
    if (fallback) {
        if (const auto url = urlOf(*fallback)) urls.push_back(*url);
    }
    openFirst(opener_, std::move(urls), 0, std::move(done));
}

void LinkCommands::open(const char* infoKey, const char* fallback, const char* title, const char* message) {
    openConfiguredURL(
        infoKey, QString::fromLatin1(fallback),
        [alert = alert_, title = QString::fromLatin1(title), message = QString::fromLatin1(message)](bool opened) {
            if (!opened) alert(title, message);
        });
}

}  // namespace ostrel
