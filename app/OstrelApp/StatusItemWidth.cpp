#include "OstrelApp/StatusItemWidth.hpp"

#include <QFontMetricsF>
#include <cmath>

namespace ostrel {

int measuredStatusItemWidth(const QString& title, const QFont& font, std::optional<int> imageWidth) {
    const int text = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(title)));
    return imageWidth ? text + *imageWidth + 6 + 10 : text + 10;
}

}  // namespace ostrel
