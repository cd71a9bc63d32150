#pragma once

#include "Model/ScreenModels.hpp"
#include "UI/ListRow.hpp"

namespace ostrel {

class AppIconView;
class StyledLabel;

// One application of the list: icon, name over bundle identifier, sparkline, and total over share.
class AppListRow final : public ListRow {
    Q_OBJECT

public:
    explicit AppListRow(QWidget* parent = nullptr);

    const ApplicationListItem& item() const { return item_; }
    void setItem(const ApplicationListItem& item);

private:
    AppListRow(AppIconView* icon, StyledLabel* bundleID, QWidget* totals, QWidget* parent);

    ApplicationListItem item_;
    AppIconView* icon_;
    StyledLabel* bundleID_;
    StyledLabel* total_;
    StyledLabel* share_;
};

}  // namespace ostrel
