#include "UI/UsageRows.hpp"

#include <QGridLayout>

#include "UI/StyledLabel.hpp"

namespace ostrel {

UsageRows::UsageRows(TextStyle style, bool namedTitles, QWidget* parent)
    : QWidget(parent), style_(style), namedTitles_(namedTitles), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(6);
    grid_->setColumnStretch(0, 1);
}

void UsageRows::setRows(const std::vector<Row>& rows) {
    while (labels_.size() > rows.size()) {
        for (auto* label : labels_.back()) delete label;
        labels_.pop_back();
    }
    while (labels_.size() < rows.size()) {
        const int row = static_cast<int>(labels_.size());
        std::array<StyledLabel*, 3> labels{new StyledLabel(style_, Hierarchy::primary, this),
                                           new StyledLabel(style_, Hierarchy::primary, this),
                                           new StyledLabel(style_, Hierarchy::secondary, this)};
        labels[0]->setElideMode(Qt::ElideRight);
        for (int column = 0; column < 3; ++column) {
            labels[column]->setAlignment((column == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            grid_->addWidget(labels[column], row, column);
            // At once rather than when the layout gets to it, so that no frame shows a row half drawn.
            labels[column]->show();
        }
        labels_.push_back(labels);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (namedTitles_) {
            labels_[i][0]->setName(rows[i].title);
        } else {
            labels_[i][0]->setText(QString::fromStdString(rows[i].title));
        }
        labels_[i][1]->setText(rows[i].amount);
        labels_[i][2]->setText(rows[i].share);
        labels_[i][2]->setVisible(!rows[i].share.isEmpty());
    }
}

QString UsageRows::text(int row, int column) const {
    return label(row, column)->text();
}

StyledLabel* UsageRows::label(int row, int column) const {
    return labels_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

QStringList UsageRows::lines() const {
    QStringList lines;
    for (const auto& labels : labels_) {
        QStringList cells{labels[0]->text(), labels[1]->text()};
        if (!labels[2]->text().isEmpty()) cells << labels[2]->text();
        lines << cells.join(QStringLiteral(" | "));
    }
    return lines;
}

}  // namespace ostrel
