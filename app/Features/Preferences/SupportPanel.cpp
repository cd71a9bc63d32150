#include "Features/Preferences/SupportPanel.hpp"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

constexpr const char* kSupportKey = "OstrelSupportURL";
constexpr const char* kWebsiteKey = "OstrelDeveloperURL";
constexpr const char* kUpdatesKey = "OstrelUpdatesURL";

}  // namespace

QUrl bundleURL(const BundleInfo& info, std::string_view infoKey, const char* fallback) {
    if (const auto text = info.string(infoKey)) {
        // Only an absolute address can be handed to the desktop.
        const QUrl url(QString::fromStdString(*text), QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty()) return url;
    }
    return QUrl(QString::fromLatin1(fallback), QUrl::StrictMode);
}

SupportPanel::SupportPanel(BundleInfo info, QWidget* parent)
    : QWidget(parent), info_(std::move(info)), open_(&QDesktopServices::openUrl) {
    struct Link {
        const char* title;
        const char* name;
        const char* key;
        const char* fallback;
    };
    const Link links[] = {{"Support Ostrel", "supportButton", kSupportKey, supportFallback},
                          {"Ostrel Website", "websiteButton", kWebsiteKey, websiteFallback},
                          {"Check for Updates", "updatesButton", kUpdatesKey, websiteFallback}};

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    for (const Link& link : links) {
        auto* button = new QPushButton(link.title, this);
        button->setObjectName(link.name);
        // The link is resolved at each press, as the text lines are at each showing.
        connect(button, &QPushButton::clicked, this,
                [this, link] { open_(bundleURL(info_, link.key, link.fallback)); });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* support = new StyledLabel("Support: " + bundleURL(info_, kSupportKey, supportFallback).toString(),
                                    TextStyle::caption, Hierarchy::secondary, this);
    support->setObjectName("supportLine");
    auto* website = new StyledLabel("Website: " + bundleURL(info_, kWebsiteKey, websiteFallback).toString(),
                                    TextStyle::caption, Hierarchy::secondary, this);
    website->setObjectName("websiteLine");
    for (auto* line : {support, website}) line->setElideMode(Qt::ElideRight);
    layout->addWidget(support);
    layout->addWidget(website);
}

void SupportPanel::setUrlOpener(UrlOpener opener) {
    open_ = opener ? std::move(opener) : UrlOpener(&QDesktopServices::openUrl);
}

}  // namespace ostrel
