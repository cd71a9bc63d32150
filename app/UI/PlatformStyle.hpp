#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace ostrel {

// The desktop's counterparts of the text styles the screens name, sized relative to the font
// they are given (the application's, standing for the body text).
enum class TextStyle { body, callout, caption, headline, subheadline, title2, title3 };

QFont platformFont(TextStyle style, const QFont& body);

// Foreground levels below the primary text: the text colour at falling opacity, so that they
// follow light and dark palettes alike.
enum class Hierarchy { primary, secondary, tertiary, quaternary };

QColor hierarchicalColor(const QPalette& palette, Hierarchy level);

// The highlight stands for the accent colour: Qt 6.4 has no accent role.
QColor accentColor(const QPalette& palette);

// A card's background: the window's shade moved towards the palette's light role.
QColor thinMaterialColor(const QPalette& palette);

// A bar's background, such as the popover's header: the window's shade moved half-way towards the
// base colour of input fields.
QColor regularMaterialColor(const QPalette& palette);

}  // namespace ostrel
