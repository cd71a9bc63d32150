#pragma once

#include <QLabel>
#include <optional>
#include <string>
#include <string_view>

#include "UI/PlatformStyle.hpp"
#include "UI/StatusColors.hpp"

namespace ostrel {

// A text in one of the platform's text styles and in a tint: a level of the text colour or a
// status colour. The font is derived from the parent's and the colour from the palette at each
// paint, so both follow font, palette and theme changes. Texts are always plain, never rich text.
//
// A label may be elided: too narrow a space shows the text cut short with "…" rather than widening
// what holds it. A name (of an application, a network, an interface) is always elided in its
// middle, kept on one line and drawn as a directional isolate, whatever characters it holds.
class StyledLabel final : public QLabel {
    Q_OBJECT

public:
    explicit StyledLabel(TextStyle style, Tint tint = {}, QWidget* parent = nullptr);
    StyledLabel(const QString& text, TextStyle style, Tint tint = {}, QWidget* parent = nullptr);

    Tint tint() const { return tint_; }
    void setTint(Tint tint);
    // Heavier than the style's own weight, as "bold" or "medium" texts are.
    void setWeight(QFont::Weight weight);
    // ElideNone (the default) lets the label ask for its whole text.
    void setElideMode(Qt::TextElideMode mode);

    // Shows `prefix` and then `name`, a name from outside: text() is the prefix and the name on
    // one line (DisplayName.hpp); what is drawn elides only the name, in its middle. A name that
    // does not fit shows whole in the tooltip.
    void setName(std::string_view name, const QString& prefix = {});
    bool showsName() const { return name_.has_value(); }
    // Shows `text` as it is, no longer as a name.
    void setPlainText(const QString& text);

    // What the last paint drew, or would draw at the label's size: the elided text, with the name
    // between its isolates.
    QString shownText() const;
    // The colour the text is drawn in under the label's palette.
    QColor color() const;

    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyStyle();
    void updateToolTip();

    TextStyle style_;
    Tint tint_;
    std::optional<QFont::Weight> weight_;
    Qt::TextElideMode elideMode_ = Qt::ElideNone;
    std::optional<QString> name_;  // on one line
    QString prefix_;
    bool applying_ = false;
};

}  // namespace ostrel
