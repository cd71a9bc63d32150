#include "Features/Apps/AppsView.hpp"

#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "Features/Apps/AppDetailView.hpp"
#include "Features/Apps/AppListView.hpp"
#include "Features/Apps/ContentUnavailableView.hpp"
#include "Features/Apps/StyledLabel.hpp"
#include "Features/Apps/TimeframePicker.hpp"
#include "UI/AppIconLookup.hpp"
#include "ViewModels/AppsViewModel.hpp"

namespace ostrel {
namespace {

constexpr int kSidebarPadding = 10;
constexpr int kSidebarWidth = 370;
constexpr int kSidebarMinimumWidth = 300;

}  // namespace

AppsView::AppsView(AppsViewModel* viewModel, std::chrono::milliseconds liveRefreshInterval, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      liveRefreshTimer_(new QTimer(this)),
      timeframePicker_(new TimeframePicker),
      errorLabel_(new StyledLabel(TextStyle::caption)),
      appList_(new AppListView),
      detailColumn_(new QStackedWidget),
      selectPlaceholder_(
          new ContentUnavailableView(QStringLiteral("Select an app"), AppIconLookup::applicationSymbol())),
      appDetail_(new AppDetailView) {
    setObjectName("appsView");
    liveRefreshTimer_->setObjectName("liveRefreshTimer");
    liveRefreshTimer_->setInterval(liveRefreshInterval);
    timeframePicker_->setObjectName("timeframePicker");
    errorLabel_->setObjectName("errorLabel");
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detailColumn_->setObjectName("detailColumn");
    selectPlaceholder_->setObjectName("selectPlaceholder");

    auto* sidebar = new QWidget;
    sidebar->setObjectName("sidebar");
    sidebar->setMinimumWidth(kSidebarMinimumWidth);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(kSidebarPadding, kSidebarPadding, kSidebarPadding, kSidebarPadding);
    sidebarLayout->setSpacing(kSidebarPadding);
    sidebarLayout->addWidget(timeframePicker_);
    sidebarLayout->addWidget(errorLabel_);
    sidebarLayout->addWidget(appList_, 1);

    detailColumn_->addWidget(selectPlaceholder_);
    detailColumn_->addWidget(appDetail_);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName("split");
    split->setChildrenCollapsible(false);
    split->addWidget(sidebar);
    split->addWidget(detailColumn_);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarWidth, kSidebarWidth * 2});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    if (!viewModel_) return;
    connect(timeframePicker_, &TimeframePicker::timeframeChosen, viewModel_, &AppsViewModel::setTimeframe);
    connect(appList_, &AppListView::applicationChosen, viewModel_, &AppsViewModel::selectApplication);
    connect(liveRefreshTimer_, &QTimer::timeout, viewModel_, [this] { viewModel_->refresh(false); });
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
    timeframePicker_->setTimeframe(viewModel_->timeframe());
}

void AppsView::showApplications() {
    appList_->setApplications(viewModel_->applications());
}

void AppsView::showDetail() {
    if (const auto& detail = viewModel_->selectedDetail()) {
        appDetail_->setModel(*detail);
        detailColumn_->setCurrentWidget(appDetail_);
    } else {
        detailColumn_->setCurrentWidget(selectPlaceholder_);
    }
}

void AppsView::showError() {
    errorLabel_->setText(viewModel_->errorMessage());
    errorLabel_->setVisible(!viewModel_->errorMessage().isNull());
}

void AppsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!viewModel_) return;
    // A list from an earlier visit stays until the first tick.
    if (viewModel_->applications().empty()) viewModel_->refresh(false);
    liveRefreshTimer_->start();
}

void AppsView::hideEvent(QHideEvent* event) {
    liveRefreshTimer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace ostrel
