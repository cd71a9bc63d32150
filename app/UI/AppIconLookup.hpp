#pragma once

#include <QIcon>
#include <optional>
#include <string>
#include <vector>

#include "Platform/DesktopEntries.hpp"

namespace ostrel {

// Finds an application's icon as the desktop shows it: the stored icon path (an image file, or
// a desktop file whose Icon is then used), else the Icon of the desktop entry whose id is the
// bundle identifier, through the icon theme or as an image path. Used on the main thread only.
class AppIconLookup final {
public:
    AppIconLookup(std::vector<std::string> dataDirs, std::string locale);

    // One for the program, over the environment's XDG data folders and locale.
    static AppIconLookup& shared();

    // A null icon when neither source gives one.
    QIcon appImage(const std::string& bundleID, const std::optional<std::string>& iconPath);

    // The "application" symbol of the placeholder: the icon theme's, else the bundled one; the
    // same icon on every call.
    static QIcon applicationSymbol();

private:
    QIcon iconOfEntry(const DesktopEntry& entry) const;

    DesktopEntries entries_;
};

}  // namespace ostrel
