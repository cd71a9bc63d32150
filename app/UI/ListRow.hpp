#pragma once

#include <QAbstractButton>
#include <string_view>

class QBoxLayout;

namespace ostrel {

class SparklineView;
class StyledLabel;

// A row of the Networks and Apps lists, as a plain button that keeps no selection: an optional
// leading widget, the name above a line of details, the sparkline, and the totals at the trailing
// edge. A long or odd name is elided in its middle and never widens the row.
class ListRow : public QAbstractButton {
    Q_OBJECT

public:
    QSize sizeHint() const override;

    // The width the trailing totals keep at least.
    static constexpr const char* kWideTotal = "1,023.9 MB";

protected:
    // The row takes the widgets; `leading` may be null.
    ListRow(QWidget* leading, QWidget* details, QWidget* trailing, QWidget* parent = nullptr);

    void setName(std::string_view name);
    SparklineView* sparkline() const { return sparkline_; }

    void paintEvent(QPaintEvent* event) override;

private:
    StyledLabel* name_;
    SparklineView* sparkline_;
};

}  // namespace ostrel
