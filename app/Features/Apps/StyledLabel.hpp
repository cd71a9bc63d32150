#pragma once

#include <QLabel>
#include <optional>

#include "UI/PlatformStyle.hpp"

namespace ostrel {

// A text in one of the platform's text styles and foreground levels: the font derived from the
// parent's, the colour from the palette the label inherits, so both follow font, palette and
// theme changes. An elided label may be narrower than its text and ends it with "…" where it is
// cut. Texts below the primary level are plain drawings, not selectable.
class StyledLabel final : public QLabel {
    Q_OBJECT

public:
    explicit StyledLabel(TextStyle style, Hierarchy level = Hierarchy::primary, QWidget* parent = nullptr);
    StyledLabel(const QString& text, TextStyle style, Hierarchy level = Hierarchy::primary, QWidget* parent = nullptr);

    // Heavier than the style's own weight, as "bold" or "medium" texts are.
    void setWeight(QFont::Weight weight);
    void setElided(bool elided);

    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyStyle();

    TextStyle style_;
    Hierarchy level_;
    std::optional<QFont::Weight> weight_;
    bool elided_ = false;
    bool applying_ = false;
};

}  // namespace ostrel
