#pragma once

#include <QLabel>

#include "UI/PlatformStyle.hpp"

namespace ostrel {

// The foreground a label is drawn in: a level of the text colour, or one of the system's status
// colours in its light or dark variant.
enum class Tint { primary, secondary, tertiary, red, orange, green };

QColor tintColor(const QPalette& palette, Tint tint);

// A line of text in one of the platform's text styles. The colour is worked out from the palette
// at every paint, so that the label follows palette changes without a palette of its own.
class StyledLabel final : public QLabel {
    Q_OBJECT

public:
    StyledLabel(const QString& text, TextStyle style, Tint tint, QWidget* parent = nullptr);

    Tint tint() const { return tint_; }
    void setTint(Tint tint);
    void setWeight(QFont::Weight weight);
    // Too narrow a space shows the text cut short with an ellipsis, so the label does not
    // widen its row.
    void setElided(bool elided);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tint tint_;
    bool elided_ = false;
};

}  // namespace ostrel
