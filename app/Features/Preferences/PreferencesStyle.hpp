#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <functional>
#include <initializer_list>
#include <vector>

#include "UI/PlatformStyle.hpp"

class QLabel;
class QWidget;

namespace ostrel {

// The desktop's named colours the screen uses, in shades for light and dark palettes.
enum class SystemColor { orange, red, green, secondary };

QColor systemColor(SystemColor color, const QPalette& palette);

// A colour taken from the palette the widget inherits.
using ColorRule = std::function<QColor(const QPalette&)>;
ColorRule colorRule(SystemColor color);

// The subheadline text style: between caption and callout.
QFont subheadlineFont(const QFont& body);
// A text style at another weight.
QFont weighted(QFont font, QFont::Weight weight);

// Keeps the given colour roles of a widget at its rule's colour of the palette its parent gives
// it, across palette changes, so that dark themes recolour it too.
class Tint final : public QObject {
    Q_OBJECT

public:
    Tint(QWidget* widget, std::vector<QPalette::ColorRole> roles, ColorRule rule);
    void setRule(ColorRule rule);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QPointer<QWidget> widget_;
    std::vector<QPalette::ColorRole> roles_;
    ColorRule rule_;
};

// A label in a text style, its text in the rule's colour (the primary text when none).
QLabel* styledLabel(const QString& text, const QFont& font, ColorRule color, QWidget* parent);
// Caption text in the secondary colour, wrapped to the width offered.
QLabel* captionLabel(const QString& text, QWidget* parent);

}  // namespace ostrel
