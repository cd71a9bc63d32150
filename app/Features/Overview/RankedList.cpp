#include "Features/Overview/RankedList.hpp"

#include <QVBoxLayout>
#include <algorithm>

#include "Features/Overview/RankedRow.hpp"

namespace ostrel {

RankedList::RankedList(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(8);
    setItems({});
}

void RankedList::setItems(const std::vector<RankedUsage>& items) {
    const std::size_t count = std::max(items.size(), kMinimumRows);
    while (rows_.size() > count) {
        delete rows_.back();
        rows_.pop_back();
    }
    while (rows_.size() < count) {
        rows_.push_back(new RankedRow(this));
        rows_.back()->setObjectName("row");
        layout_->addWidget(rows_.back());
    }
    for (std::size_t index = 0; index < count; ++index) {
        rows_[index]->setItem(index < items.size() ? &items[index] : nullptr);
    }
}

}  // namespace ostrel
