#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>
#include <string_view>

#include "Platform/BundleInfo.hpp"

namespace ostrel {

// The key's value in the program's Info.json when it is a text that forms an absolute URL, else
// the fallback, which always does.
QUrl bundleURL(const BundleInfo& info, std::string_view infoKey, const char* fallback);

// The "Support & About" card's content: the support, website and updates buttons, and the
// support and website addresses.
class SupportPanel final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* supportFallback = "mailto:support@ostrel.app";
    static constexpr const char* websiteFallback = "https://ostrel.app";

    // Hands a link to the desktop; what it answers is ignored.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // Opens links through the desktop's URL handler.
    explicit SupportPanel(BundleInfo info, QWidget* parent = nullptr);

    void setUrlOpener(UrlOpener opener);

private:
    BundleInfo info_;
    UrlOpener open_;
};

}  // namespace ostrel
