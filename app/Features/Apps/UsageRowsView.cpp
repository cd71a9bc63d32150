#include "Features/Apps/UsageRowsView.hpp"

#include <QGridLayout>

#include "Features/Apps/StyledLabel.hpp"

namespace ostrel {

UsageRowsView::UsageRowsView(TextStyle style, QWidget* parent)
    : QWidget(parent), style_(style), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(6);
    grid_->setColumnStretch(0, 1);
}

void UsageRowsView::setRows(const std::vector<Row>& rows) {
    while (labels_.size() > rows.size()) {
        for (auto* label : labels_.back()) delete label;
        labels_.pop_back();
    }
    while (labels_.size() < rows.size()) {
        const int row = static_cast<int>(labels_.size());
        std::array<StyledLabel*, 3> labels{new StyledLabel(style_, Hierarchy::primary, this),
                                           new StyledLabel(style_, Hierarchy::primary, this),
                                           new StyledLabel(style_, Hierarchy::secondary, this)};
        labels[0]->setElided(true);
        for (int column = 0; column < 3; ++column) {
            const Qt::Alignment alignment = (column == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
            labels[column]->setAlignment(alignment);
            grid_->addWidget(labels[column], row, column);
        }
        // At once rather than when the layout gets to it, so that no frame shows a row half drawn.
        labels[0]->show();
        labels[1]->show();
        labels_.push_back(labels);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        labels_[i][0]->setText(rows[i].title);
        labels_[i][0]->setToolTip(rows[i].title);
        labels_[i][1]->setText(rows[i].amount);
        labels_[i][2]->setText(rows[i].share);
        labels_[i][2]->setVisible(!rows[i].share.isEmpty());
    }
}

QString UsageRowsView::text(int row, int column) const {
    return labels_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column))->text();
}

}  // namespace ostrel
