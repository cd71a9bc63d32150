#pragma once

#include <QColor>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace ostrel::testing {

// A desktop theme's colours as a platform theme hands them to Qt: the window and button shades,
// the shades Qt derives from them (light, mid, dark), then the theme's own roles. These are KDE's
// Breeze and Breeze Dark.
inline QPalette desktopPalette(bool dark) {
    QPalette palette(QColor(dark ? "#292c30" : "#fcfcfc"), QColor(dark ? "#202326" : "#eff0f1"));
    const QColor text(dark ? "#fcfcfc" : "#232629");
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) palette.setColor(role, text);
    palette.setColor(QPalette::Base, QColor(dark ? "#141618" : "#ffffff"));
    palette.setColor(QPalette::AlternateBase, QColor(dark ? "#1d1f22" : "#f7f7f7"));
    palette.setColor(QPalette::Highlight, QColor("#3daee9"));
    palette.setColor(QPalette::HighlightedText, QColor(dark ? "#fcfcfc" : "#ffffff"));
    palette.setColor(QPalette::ToolTipBase, QColor(dark ? "#292c30" : "#f7f7f7"));
    palette.setColor(QPalette::ToolTipText, text);
    return palette;
}

inline QPalette breezePalette() {
    return desktopPalette(false);
}
inline QPalette breezeDarkPalette() {
    return desktopPalette(true);
}

// The WCAG 2 contrast ratio of two opaque colours, from 1 to 21.
inline double contrastRatio(QColor a, QColor b) {
    const auto luminance = [](QColor color) {
        const auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace ostrel::testing
