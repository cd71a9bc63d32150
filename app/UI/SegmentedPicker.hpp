#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QAbstractButton;
class QButtonGroup;

namespace ostrel {

class StyledLabel;

// The segmented picker of every screen: segments side by side in one rounded frame, the chosen
// one filled with the accent colour. It shows the choice it is given and reports the one the user
// makes; the report does not move the choice, so the picker never shows a value its owner has
// not taken. Left and right arrow keys choose the neighbouring segment.
class SegmentedPicker final : public QWidget {
    Q_OBJECT

public:
    struct Segment {
        QString title;
        QString name;  // the segment button's object name
    };

    // `title` names the picker for accessibility, and shows beside the segments when visible.
    SegmentedPicker(const QString& title, const std::vector<Segment>& segments, QWidget* parent = nullptr);

    // "Daily" to "Custom", and "Total Today" to "Down / Up", named by their raw values.
    static std::vector<Segment> timeframeSegments();
    static std::vector<Segment> displayModeSegments();

    void setTitleVisible(bool visible);
    int currentIndex() const { return current_; }
    // Shows the segment as chosen; announces nothing.
    void setCurrentIndex(int index);
    QAbstractButton* segment(int index) const;
    int count() const;

    static constexpr double kCornerRadius = 6;

signals:
    void chosen(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(int index);
    QRect frameRect() const;

    StyledLabel* title_;
    QWidget* segments_;
    QButtonGroup* group_;
    int current_ = -1;
};

}  // namespace ostrel
