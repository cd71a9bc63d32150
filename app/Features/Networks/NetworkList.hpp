#pragma once

#include <QScrollArea>
#include <vector>

#include "Model/ScreenModels.hpp"

class QVBoxLayout;

namespace ostrel {

class NetworkRow;

// The sidebar's list: one row per network, in the given order. It keeps no selection of its
// own; a click on a row reports that row's network.
class NetworkList final : public QScrollArea {
    Q_OBJECT

public:
    explicit NetworkList(QWidget* parent = nullptr);

    // Rows already shown are updated in place, so a reload does not flicker or lose the scroll.
    void setItems(const std::vector<NetworkListItem>& items);
    std::vector<NetworkRow*> rows() const;

signals:
    void networkClicked(const QString& networkID);

private:
    QVBoxLayout* rowsLayout_;
};

}  // namespace ostrel
