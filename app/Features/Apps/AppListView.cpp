#include "Features/Apps/AppListView.hpp"

#include <QVBoxLayout>

#include "Features/Apps/AppListRow.hpp"

namespace ostrel {

AppListView::AppListView(QWidget* parent) : QScrollArea(parent) {
    setObjectName("appList");
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    content->setObjectName("appListContent");
    rowsLayout_ = new QVBoxLayout(content);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(2);
    rowsLayout_->addStretch();
    setWidget(content);
    // The list sits on the sidebar's own background, as a sidebar list does.
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
}

void AppListView::setApplications(const std::vector<ApplicationListItem>& applications) {
    while (rows_.size() > applications.size()) {
        delete rows_.back();
        rows_.pop_back();
    }
    while (rows_.size() < applications.size()) {
        auto* row = new AppListRow(widget());
        connect(row, &AppListRow::clicked, this,
                [this, row] { emit applicationChosen(QString::fromStdString(row->item().id)); });
        rowsLayout_->insertWidget(static_cast<int>(rows_.size()), row);
        row->show();  // at once, not when the layout gets to it
        rows_.push_back(row);
    }
    for (std::size_t i = 0; i < applications.size(); ++i) rows_[i]->setItem(applications[i]);
}

}  // namespace ostrel
