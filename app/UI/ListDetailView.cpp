#include "UI/ListDetailView.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "UI/StyledLabel.hpp"

namespace ostrel {

ListDetailView::ListDetailView(QWidget* picker, QWidget* list, QWidget* parent)
    : QWidget(parent),
      sidebar_(new QWidget),
      error_(new StyledLabel(TextStyle::caption, StatusColor::red)),
      list_(list),
      detail_(new QStackedWidget) {
    sidebar_->setObjectName("sidebar");
    sidebar_->setMinimumWidth(kSidebarMinimumWidth);
    error_->setObjectName("errorLabel");
    error_->setWordWrap(true);
    error_->hide();
    detail_->setObjectName("detailColumn");

    auto* sidebarLayout = new QVBoxLayout(sidebar_);
    sidebarLayout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    sidebarLayout->setSpacing(kPadding);
    sidebarLayout->addWidget(picker);
    sidebarLayout->addWidget(error_);
    // A grid of one cell, so that an overlay can lie over the list.
    auto* listCell = new QGridLayout;
    listCell->addWidget(list, 0, 0);
    sidebarLayout->addLayout(listCell, 1);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName("splitView");
    split->setChildrenCollapsible(false);
    split->addWidget(sidebar_);
    split->addWidget(detail_);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarWidth, 2 * kSidebarWidth});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
}

void ListDetailView::setListOverlay(QWidget* overlay) {
    auto* cell = static_cast<QGridLayout*>(sidebar_->layout()->itemAt(2)->layout());
    cell->addWidget(overlay, 0, 0, Qt::AlignTop | Qt::AlignHCenter);
}

void ListDetailView::setError(const QString& message) {
    error_->setText(message);
    error_->setVisible(!message.isNull());
}

void ListDetailView::addDetailPage(QWidget* page) {
    detail_->addWidget(page);
}

void ListDetailView::showDetailPage(QWidget* page) {
    detail_->setCurrentWidget(page);
}

QWidget* ListDetailView::currentDetailPage() const {
    return detail_->currentWidget();
}

}  // namespace ostrel
