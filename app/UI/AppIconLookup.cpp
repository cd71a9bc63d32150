#include "UI/AppIconLookup.hpp"

#include <QImage>
#include <QPixmap>
#include <filesystem>

#include "UI/Symbols.hpp"

namespace ostrel {
namespace {

constexpr std::size_t kImageFileLimit = 8u << 20;

// Paths come from stored rows and from other programs' desktop files: a FIFO or a device there
// must not block the interface, nor a huge file flood it.
QIcon iconOfImageFile(const std::string& path) {
    const auto bytes = readRegularFile(path, kImageFileLimit);
    if (!bytes) return {};
    const QImage image = QImage::fromData(QByteArray::fromRawData(bytes->data(), qsizetype(bytes->size())));
    if (image.isNull()) return {};
    return QIcon(QPixmap::fromImage(image));
}

bool isDesktopFile(const std::string& path) {
    return std::filesystem::path(path).extension() == ".desktop";
}

}  // namespace

AppIconLookup::AppIconLookup(std::vector<std::string> dataDirs, std::string locale)
    : entries_(std::move(dataDirs), std::move(locale)) {}

AppIconLookup& AppIconLookup::shared() {
    static AppIconLookup lookup(DesktopEntries::dataDirsFromEnvironment(), DesktopEntries::localeFromEnvironment());
    return lookup;
}

QIcon AppIconLookup::appImage(const std::string& bundleID, const std::optional<std::string>& iconPath) {
    if (iconPath) {
        if (isDesktopFile(*iconPath)) {
            if (const auto entry = entries_.byPath(*iconPath)) {
                if (auto icon = iconOfEntry(*entry); !icon.isNull()) return icon;
            }
        } else if (auto icon = iconOfImageFile(*iconPath); !icon.isNull()) {
            return icon;
        }
    }
    if (bundleID.empty()) return {};
    entries_.refresh();
    if (const auto entry = entries_.byId(bundleID)) return iconOfEntry(*entry);
    return {};
}

QIcon AppIconLookup::iconOfEntry(const DesktopEntry& entry) const {
    if (!entry.icon) return {};
    if (std::filesystem::path(*entry.icon).is_absolute()) return iconOfImageFile(*entry.icon);
    return QIcon::fromTheme(QString::fromStdString(*entry.icon));
}

QIcon AppIconLookup::applicationSymbol() {
    return symbolShape(Symbol::appFill);
}

}  // namespace ostrel
