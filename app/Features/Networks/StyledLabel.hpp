#pragma once

#include <QLabel>
#include <optional>

#include "UI/PlatformStyle.hpp"

namespace ostrel {

// A text in one of the screen's styles and foreground levels. Font and colour are derived from
// the parent's, again whenever those change, so light and dark palettes both read right.
class StyledLabel final : public QLabel {
    Q_OBJECT

public:
    // Colours that carry meaning rather than hierarchy, in the shade that suits the palette.
    enum class Tint { none, green, red };

    StyledLabel(const QString& text, TextStyle style, Hierarchy level = Hierarchy::primary, QWidget* parent = nullptr);

    void setWeight(QFont::Weight weight);
    void setTint(Tint tint);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyStyle();

    TextStyle style_;
    Hierarchy level_;
    std::optional<QFont::Weight> weight_;
    Tint tint_ = Tint::none;
    bool applying_ = false;
};

}  // namespace ostrel
