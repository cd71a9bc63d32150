#pragma once

#include <QAbstractButton>

#include "Model/ScreenModels.hpp"

class QLabel;

namespace ostrel {

class SparklineView;
class StyledLabel;

// One network of the list, as a plain button that highlights nothing: its name above its type
// (and "Active" in green while it is in use), then its sparkline and total.
class NetworkRow final : public QAbstractButton {
    Q_OBJECT

public:
    explicit NetworkRow(const NetworkListItem& item, QWidget* parent = nullptr);

    const NetworkListItem& item() const { return item_; }
    void setItem(const NetworkListItem& item);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void elideName();

    NetworkListItem item_;
    QLabel* name_;
    StyledLabel* type_;
    StyledLabel* active_;
    SparklineView* sparkline_;
    StyledLabel* total_;
};

}  // namespace ostrel
