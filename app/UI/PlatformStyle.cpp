#include "UI/PlatformStyle.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel {
namespace {

// The desktop's body text is about 13 pixels, as the reference body font; the others keep their
// proportion to it.
struct StyleMetrics {
    double scale;
    QFont::Weight weight;
};

StyleMetrics metricsOf(TextStyle style) {
    switch (style) {
        case TextStyle::callout:
            return {12.0 / 13.0, QFont::Normal};
        case TextStyle::caption:
            return {10.0 / 13.0, QFont::Normal};
        case TextStyle::headline:
            return {1.0, QFont::Bold};
        case TextStyle::subheadline:
            return {11.0 / 13.0, QFont::Normal};
        case TextStyle::title2:
            return {17.0 / 13.0, QFont::Normal};
        case TextStyle::title3:
            return {15.0 / 13.0, QFont::Normal};
        case TextStyle::body:
            break;
    }
    return {1.0, QFont::Normal};
}

QColor mixed(const QColor& from, const QColor& to, double amount) {
    const auto mix = [&](double a, double b) { return a + (b - a) * amount; };
    return QColor::fromRgbF(static_cast<float>(mix(from.redF(), to.redF())),
                            static_cast<float>(mix(from.greenF(), to.greenF())),
                            static_cast<float>(mix(from.blueF(), to.blueF())));
}

}  // namespace

QFont platformFont(TextStyle style, const QFont& body) {
    const auto metrics = metricsOf(style);
    QFont font = body;
    if (body.pointSizeF() > 0) {
        font.setPointSizeF(body.pointSizeF() * metrics.scale);
    } else if (body.pixelSize() > 0) {
        font.setPixelSize(std::max(1, qRound(body.pixelSize() * metrics.scale)));
    }
    font.setWeight(metrics.weight);
    return font;
}

QColor hierarchicalColor(const QPalette& palette, Hierarchy level) {
    QColor color = palette.color(QPalette::WindowText);
    switch (level) {
        case Hierarchy::primary:
            break;
        case Hierarchy::secondary:
            color.setAlphaF(0.55f);
            break;
        case Hierarchy::tertiary:
            color.setAlphaF(0.3f);
            break;
        case Hierarchy::quaternary:
            color.setAlphaF(0.12f);
            break;
    }
    return color;
}

QColor accentColor(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor thinMaterialColor(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor light = palette.color(QPalette::Light);
    // Some themes give Light the window's own shade; the text colour then sets the card off.
    if (std::abs(light.lightnessF() - window.lightnessF()) < 0.04f) {
        return mixed(window, palette.color(QPalette::WindowText), 0.06);
    }
    return mixed(window, light, 0.6);
}

QColor regularMaterialColor(const QPalette& palette) {
    return mixed(palette.color(QPalette::Window), palette.color(QPalette::Base), 0.5);
}

}  // namespace ostrel
