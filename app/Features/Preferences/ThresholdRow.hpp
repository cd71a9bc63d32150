#pragma once

#include <QWidget>
#include <optional>

#include "UI/StatusColors.hpp"
#include "UI/Symbols.hpp"

class QSlider;

namespace ostrel {

class StyledLabel;

// One threshold: its symbol, title and subtitle, a badge with the whole gigabytes, and a slider
// from 1 to 500 GB in steps of 1, all on a rounded background in the row's colour. The slider
// takes the mouse wheel only while it has the focus from a click or the keyboard: otherwise the
// wheel scrolls the page, and a page scrolled past the slider must not save a new threshold.
class ThresholdRow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimum = 1;
    static constexpr int kMaximum = 500;
    static constexpr int kSymbolSize = 16;

    ThresholdRow(const QString& title, const QString& subtitle, Symbol symbol, StatusColor color,
                 QWidget* parent = nullptr);

    // Shows a stored value: the badge its whole part, the slider that within its range. Announces
    // nothing, and changes nothing while a chosen value waits to be announced.
    void setGigabytes(double gigabytes);

    QSlider* slider() const { return slider_; }
    StyledLabel* badge() const { return badge_; }

signals:
    // The user moved the slider: each step, also while dragging. The badge shows the step at once
    // and the step is announced when the event loop next turns, after the slider has been
    // repainted; steps that come faster than the loop turns are announced once, as the newest.
    void gigabytesChosen(double gigabytes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(int value);

    StatusColor color_;
    StyledLabel* badge_;
    QSlider* slider_;
    std::optional<int> chosen_;  // a step not yet announced
};

// Gigabytes of a byte count, by three exact multiplications by 1/1024, and their whole part.
double gigabytesOf(qint64 bytes);
qint64 wholeGigabytes(double gigabytes);

}  // namespace ostrel
