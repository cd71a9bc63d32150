#pragma once

#include <QProxyStyle>

namespace ostrel {

// The application's style with check boxes whose square is drawn from the palette's roles: a
// ring in the text colour at reduced strength, the input fields' base inside, the highlight with
// a tick in the highlighted text's colour when checked. Fusion rings the square in a shade of the
// window colour, which a dark palette's card all but swallows.
class ReadableControlStyle final : public QProxyStyle {
public:
    explicit ReadableControlStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// Gives `control` the style above, over a fresh instance of the application's style; the control
// owns it. Controls keep the application's style when that cannot be made again by name.
void useReadableStyle(QWidget* control);

}  // namespace ostrel
