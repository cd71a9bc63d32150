#include "Features/Networks/NetworkList.hpp"

#include <QVBoxLayout>

#include "Features/Networks/NetworkRow.hpp"

namespace ostrel {

NetworkList::NetworkList(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    content->setObjectName("rows");
    rowsLayout_ = new QVBoxLayout(content);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(2);
    rowsLayout_->addStretch();
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
}

std::vector<NetworkRow*> NetworkList::rows() const {
    std::vector<NetworkRow*> rows;
    for (int i = 0; i + 1 < rowsLayout_->count(); ++i)
        rows.push_back(static_cast<NetworkRow*>(rowsLayout_->itemAt(i)->widget()));
    return rows;
}

void NetworkList::setItems(const std::vector<NetworkListItem>& items) {
    auto rows = this->rows();
    for (std::size_t i = items.size(); i < rows.size(); ++i) delete rows[i];
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i < rows.size()) {
            rows[i]->setItem(items[i]);
            continue;
        }
        auto* row = new NetworkRow(items[i], widget());
        row->setObjectName("row" + QString::number(i));
        // The row's network at the time of the click: rows are reused for other networks.
        connect(row, &NetworkRow::clicked, this,
                [this, row] { emit networkClicked(QString::fromStdString(row->item().id)); });
        rowsLayout_->insertWidget(static_cast<int>(i), row);
    }
}

}  // namespace ostrel
