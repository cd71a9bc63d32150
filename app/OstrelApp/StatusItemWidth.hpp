#pragma once

#include <QFont>
#include <QString>
#include <optional>

namespace ostrel {

// The width a status item takes in a menu bar that sizes items to their content: the title's
// width in `font`, rounded up, plus the image's width and a 6-point gap when there is an image,
// plus 10 points. Tray panels size their items themselves, so nothing here calls it.
int measuredStatusItemWidth(const QString& title, const QFont& font, std::optional<int> imageWidth);

}  // namespace ostrel
