#include "Features/Apps/AppsView.hpp"

#include <QVBoxLayout>

#include "Features/Apps/AppDetailView.hpp"
#include "Features/Apps/AppListRow.hpp"
#include "UI/ContentUnavailableView.hpp"
#include "UI/ListDetailView.hpp"
#include "UI/LiveRefresh.hpp"
#include "UI/RowList.hpp"
#include "UI/SegmentedPicker.hpp"
#include "ViewModels/AppsViewModel.hpp"

namespace ostrel {

AppsView::AppsView(AppsViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      timeframePicker_(new SegmentedPicker(QStringLiteral("Timeframe"), SegmentedPicker::timeframeSegments())),
      appList_(new RowList),
      layout_(new ListDetailView(timeframePicker_, appList_, this)),
      selectPlaceholder_(new ContentUnavailableView(QStringLiteral("Select an app"), Symbol::appFill)),
      appDetail_(new AppDetailView) {
    setObjectName("appsView");
    timeframePicker_->setObjectName("timeframePicker");
    appList_->setObjectName("appList");
    selectPlaceholder_->setObjectName("selectPlaceholder");
    layout_->addDetailPage(selectPlaceholder_);
    layout_->addDetailPage(appDetail_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(layout_);

    new LiveRefresh(this, liveRefreshInterval, [this] {
        if (viewModel_) viewModel_->refresh(false);
    });
    if (!viewModel_) return;
    connect(timeframePicker_, &SegmentedPicker::chosen, this, [this](int index) {
        if (viewModel_) viewModel_->setTimeframe(allTimeframePresets.at(static_cast<std::size_t>(index)));
    });
    // The row's application at the time of the click: rows are reused for other applications.
    connect(appList_, &RowList::rowClicked, this, [this](int index) {
        if (!viewModel_ || static_cast<std::size_t>(index) >= viewModel_->applications().size()) return;
        viewModel_->selectApplication(
            QString::fromStdString(viewModel_->applications()[static_cast<std::size_t>(index)].id));
    });
    connect(viewModel_, &AppsViewModel::timeframeChanged, this, &AppsView::showTimeframe);
    connect(viewModel_, &AppsViewModel::applicationsChanged, this, &AppsView::showApplications);
    connect(viewModel_, &AppsViewModel::selectedDetailChanged, this, &AppsView::showDetail);
    connect(viewModel_, &AppsViewModel::errorMessageChanged, this, &AppsView::showError);
    showTimeframe();
    showApplications();
    showDetail();
    showError();
}

void AppsView::showTimeframe() {
    timeframePicker_->setCurrentIndex(static_cast<int>(viewModel_->timeframe()));
}

void AppsView::showApplications() {
    const auto& applications = viewModel_->applications();
    appList_->setRowCount(applications.size(), [](QWidget* parent) { return new AppListRow(parent); });
    for (std::size_t i = 0; i < applications.size(); ++i) {
        static_cast<AppListRow*>(appList_->rows()[i])->setItem(applications[i]);
    }
}

void AppsView::showDetail() {
    if (const auto& detail = viewModel_->selectedDetail()) {
        appDetail_->setModel(*detail);
        layout_->showDetailPage(appDetail_);
    } else {
        layout_->showDetailPage(selectPlaceholder_);
    }
}

void AppsView::showError() {
    layout_->setError(viewModel_->errorMessage());
}

void AppsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A list from an earlier visit stays until the first tick.
    if (viewModel_ && viewModel_->applications().empty()) viewModel_->refresh(false);
}

}  // namespace ostrel
