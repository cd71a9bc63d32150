#pragma once

#include <QString>
#include <QWidget>

#include "Features/Preferences/PreferencesStyle.hpp"

namespace ostrel {

// The symbols of the Preferences screen.
enum class PreferencesSymbol { warning, flame, bellBadge, bellSlash };

// The symbol's system name ("exclamationmark.triangle.fill", ...).
QString symbolName(PreferencesSymbol symbol);

// A symbol drawn in one colour: the icon theme's symbolic icon where the theme has one, else the
// bundled drawing.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSize = 16;

    SymbolView(PreferencesSymbol symbol, ColorRule color, QWidget* parent = nullptr);

    void setSymbol(PreferencesSymbol symbol, ColorRule color);
    PreferencesSymbol symbol() const { return symbol_; }
    QColor color() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    PreferencesSymbol symbol_;
    ColorRule color_;
};

}  // namespace ostrel
