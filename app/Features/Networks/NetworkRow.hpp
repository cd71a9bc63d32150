#pragma once

#include "Model/ScreenModels.hpp"
#include "UI/ListRow.hpp"

namespace ostrel {

class StyledLabel;

// One network of the list: its name above its type (and "Active" in green while it is in use),
// then its sparkline and total.
class NetworkRow final : public ListRow {
    Q_OBJECT

public:
    explicit NetworkRow(QWidget* parent = nullptr);

    const NetworkListItem& item() const { return item_; }
    void setItem(const NetworkListItem& item);

private:
    NetworkRow(StyledLabel* type, StyledLabel* active, StyledLabel* total, QWidget* parent);

    NetworkListItem item_;
    StyledLabel* type_;
    StyledLabel* active_;
    StyledLabel* total_;
};

}  // namespace ostrel
