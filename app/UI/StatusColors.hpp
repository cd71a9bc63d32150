#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <optional>
#include <vector>

#include "UI/PlatformStyle.hpp"

class QWidget;

namespace ostrel {

// The system colours that carry meaning (levels, states), each in a shade for light and one for
// dark palettes. The only place they are defined.
enum class StatusColor { red, orange, green };

QColor statusColor(StatusColor color, const QPalette& palette);

// What a text or symbol is drawn in: a level of the palette's text colour, or a status colour.
// Worked out from the palette at the time it is drawn, so it follows light and dark palettes.
class Tint {
public:
    constexpr Tint(Hierarchy level = Hierarchy::primary) : level_(level) {}  // NOLINT: a level is a tint
    constexpr Tint(StatusColor status) : status_(status) {}                  // NOLINT: so is a status colour

    // `text` is the colour the levels are taken from: the palette's text colour by default.
    QColor color(const QPalette& palette, std::optional<QColor> text = std::nullopt) const;

    Hierarchy level() const { return level_; }
    const std::optional<StatusColor>& status() const { return status_; }
    bool operator==(const Tint&) const = default;

private:
    Hierarchy level_ = Hierarchy::primary;
    std::optional<StatusColor> status_;
};

// Keeps colour roles of a widget (a slider's groove, a button's text) at a tint of the palette its
// parent gives it, also after palette changes. Owned by the widget.
class TintedRoles final : public QObject {
    Q_OBJECT

public:
    TintedRoles(QWidget* widget, std::vector<QPalette::ColorRole> roles, Tint tint);
    void setTint(Tint tint);
    Tint tint() const { return tint_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QPointer<QWidget> widget_;
    std::vector<QPalette::ColorRole> roles_;
    Tint tint_;
};

}  // namespace ostrel
