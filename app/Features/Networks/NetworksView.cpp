#include "Features/Networks/NetworksView.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "Features/Networks/ContentUnavailableView.hpp"
#include "Features/Networks/NetworkDetailView.hpp"
#include "Features/Networks/NetworkList.hpp"
#include "Features/Networks/ProgressIndicator.hpp"
#include "Features/Networks/StyledLabel.hpp"
#include "Features/Networks/TimeframePicker.hpp"
#include "ViewModels/NetworksViewModel.hpp"

namespace ostrel {
namespace {

constexpr int kSidebarWidth = 330;

}  // namespace

NetworksView::NetworksView(NetworksViewModel* viewModel, std::chrono::milliseconds liveRefreshInterval, QWidget* parent)
    : QWidget(parent), viewModel_(viewModel) {
    liveRefreshTimer_.setObjectName("liveRefreshTimer");
    liveRefreshTimer_.setParent(this);
    liveRefreshTimer_.setInterval(liveRefreshInterval);
    // Each tick asks anew without waiting for the answer; the cache answers when it is young.
    connect(&liveRefreshTimer_, &QTimer::timeout, this, [this] {
        if (viewModel_) viewModel_->refresh(false);
    });

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("splitView");
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(makeSidebar());
    splitter->addWidget(makeDetailColumn());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kSidebarWidth, 1});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(viewModel, &NetworksViewModel::timeframeChanged, this, &NetworksView::showTimeframe);
    connect(viewModel, &NetworksViewModel::networksChanged, this, &NetworksView::showList);
    connect(viewModel, &NetworksViewModel::isLoadingListChanged, this, &NetworksView::showList);
    connect(viewModel, &NetworksViewModel::errorMessageChanged, this, &NetworksView::showError);
    connect(viewModel, &NetworksViewModel::isLoadingDetailChanged, this, &NetworksView::showDetailColumn);
    connect(viewModel, &NetworksViewModel::selectedDetailChanged, this, &NetworksView::showDetailColumn);
    connect(timeframePicker_, &TimeframePicker::timeframeChosen, this, [this](TimeframePreset timeframe) {
        if (!viewModel_) return;
        viewModel_->setTimeframe(timeframe);
        showTimeframe();  // the picker follows the view model, not the click
    });
    connect(networkList_, &NetworkList::networkClicked, this, [this](const QString& networkID) {
        if (viewModel_) viewModel_->selectNetwork(networkID);
    });
    showTimeframe();
    showList();
    showError();
    showDetailColumn();
}

QWidget* NetworksView::makeSidebar() {
    auto* sidebar = new QWidget;
    sidebar->setObjectName("sidebar");
    sidebar->setMinimumWidth(260);
    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    timeframePicker_ = new TimeframePicker(sidebar);
    timeframePicker_->setObjectName("timeframePicker");
    layout->addWidget(timeframePicker_);
    // Where the view model's failures show; hidden while there is none.
    errorLabel_ = new StyledLabel({}, TextStyle::caption, Hierarchy::primary, sidebar);
    errorLabel_->setObjectName("errorLabel");
    errorLabel_->setTint(StyledLabel::Tint::red);
    errorLabel_->setWordWrap(true);
    layout->addWidget(errorLabel_);

    // The indicator lies over the list, at its top; it shows only while the list is empty.
    auto* overlay = new QGridLayout;
    networkList_ = new NetworkList(sidebar);
    networkList_->setObjectName("networkList");
    listLoading_ = new ProgressIndicator("Loading networks…", sidebar);
    listLoading_->setObjectName("listLoading");
    listLoading_->setContentsMargins(0, 16, 0, 0);
    overlay->addWidget(networkList_, 0, 0);
    overlay->addWidget(listLoading_, 0, 0, Qt::AlignTop | Qt::AlignHCenter);
    layout->addLayout(overlay, 1);
    return sidebar;
}

QWidget* NetworksView::makeDetailColumn() {
    detailColumn_ = new QStackedWidget;
    detailColumn_->setObjectName("detailColumn");
    detailLoading_ = new ProgressIndicator("Loading network details…");
    detailLoading_->setObjectName("detailLoading");
    auto* loadingPage = new QWidget;
    auto* centred = new QVBoxLayout(loadingPage);
    centred->addWidget(detailLoading_, 0, Qt::AlignCenter);
    detailView_ = new NetworkDetailView;
    detailView_->setObjectName("detailView");
    noSelection_ = new ContentUnavailableView("Select a network");
    noSelection_->setObjectName("noSelection");
    detailColumn_->addWidget(loadingPage);
    detailColumn_->addWidget(detailView_);
    detailColumn_->addWidget(noSelection_);
    return detailColumn_;
}

void NetworksView::showTimeframe() {
    if (viewModel_) timeframePicker_->setTimeframe(viewModel_->timeframe());
}

void NetworksView::showList() {
    if (!viewModel_) return;
    networkList_->setItems(viewModel_->networks());
    listLoading_->setVisible(viewModel_->isLoadingList() && viewModel_->networks().empty());
}

void NetworksView::showError() {
    const QString message = viewModel_ ? viewModel_->errorMessage() : QString();
    errorLabel_->setText(message);
    errorLabel_->setVisible(!message.isNull());
}

void NetworksView::showDetailColumn() {
    if (!viewModel_) return;
    if (viewModel_->isLoadingDetail()) {
        detailColumn_->setCurrentWidget(detailLoading_->parentWidget());
    } else if (const auto& detail = viewModel_->selectedDetail()) {
        detailView_->setModel(*detail);
        detailColumn_->setCurrentWidget(detailView_);
    } else {
        detailColumn_->setCurrentWidget(noSelection_);
    }
}

void NetworksView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A list from an earlier visit stays as it is until the first tick.
    if (viewModel_ && viewModel_->networks().empty()) viewModel_->refresh(false);
    liveRefreshTimer_.start();
}

void NetworksView::hideEvent(QHideEvent* event) {
    // A reload already asked for still arrives; only the ticks stop.
    liveRefreshTimer_.stop();
    QWidget::hideEvent(event);
}

}  // namespace ostrel
