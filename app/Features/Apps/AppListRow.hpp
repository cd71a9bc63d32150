#pragma once

#include <QAbstractButton>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class AppIconView;
class SparklineView;
class StyledLabel;

// One application of the list, a plain button: icon, name over bundle identifier, sparkline, and
// total over share. Rows keep no selection and highlight none.
class AppListRow final : public QAbstractButton {
    Q_OBJECT

public:
    explicit AppListRow(QWidget* parent = nullptr);

    const ApplicationListItem& item() const { return item_; }
    void setItem(const ApplicationListItem& item);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ApplicationListItem item_;
    AppIconView* icon_;
    StyledLabel* name_;
    StyledLabel* bundleID_;
    SparklineView* sparkline_;
    StyledLabel* total_;
    StyledLabel* share_;
};

}  // namespace ostrel
