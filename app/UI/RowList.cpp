#include "UI/RowList.hpp"

#include <QVBoxLayout>

#include "UI/ListRow.hpp"

namespace ostrel {

RowList::RowList(QWidget* parent) : QScrollArea(parent) {
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

void RowList::setRowCount(std::size_t count, const std::function<ListRow*(QWidget* parent)>& make) {
    while (rows_.size() > count) {
        delete rows_.back();
        rows_.pop_back();
    }
    while (rows_.size() < count) {
        ListRow* row = make(widget());
        const int index = static_cast<int>(rows_.size());
        row->setObjectName(QStringLiteral("row") + QString::number(index));
        connect(row, &ListRow::clicked, this, [this, index] { emit rowClicked(index); });
        rowsLayout_->insertWidget(index, row);
        row->show();  // at once, not when the layout gets to it
        rows_.push_back(row);
    }
}

}  // namespace ostrel
