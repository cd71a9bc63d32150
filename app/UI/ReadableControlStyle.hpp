#pragma once

#include <QProxyStyle>

namespace ostrel {

// The application's style with check boxes, horizontal sliders and field edges drawn from the
// palette's roles, outlined in the text colour at reduced strength: a check box's square holds the
// input fields' base, or the highlight with a tick in the highlighted text's colour when checked; a
// slider's groove is that outline's colour, filled with the highlight up to a round handle in the
// button colour; a combo or spin box, such as a date field, is edged in it. Fusion draws these
// edges in shades of the window colour, which a dark palette's card all but swallows.
class ReadableControlStyle final : public QProxyStyle {
public:
    explicit ReadableControlStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

// Gives `control` the style above, over a fresh instance of the application's style; the control
// owns it. Controls keep the application's style when that cannot be made again by name.
void useReadableStyle(QWidget* control);

}  // namespace ostrel
