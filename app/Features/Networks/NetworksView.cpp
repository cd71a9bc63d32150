#include "Features/Networks/NetworksView.hpp"

#include <QVBoxLayout>

#include "Features/Networks/NetworkDetailView.hpp"
#include "Features/Networks/NetworkRow.hpp"
#include "UI/ContentUnavailableView.hpp"
#include "UI/ListDetailView.hpp"
#include "UI/LiveRefresh.hpp"
#include "UI/ProgressIndicator.hpp"
#include "UI/RowList.hpp"
#include "UI/SegmentedPicker.hpp"
#include "ViewModels/NetworksViewModel.hpp"

namespace ostrel {

NetworksView::NetworksView(NetworksViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      timeframePicker_(new SegmentedPicker(QStringLiteral("Timeframe"), SegmentedPicker::timeframeSegments())),
      networkList_(new RowList),
      listLoading_(new ProgressIndicator(QStringLiteral("Loading networks\u2026"))),
      layout_(new ListDetailView(timeframePicker_, networkList_, this)),
      detailLoading_(new QWidget),
      detailView_(new NetworkDetailView),
      noSelection_(new ContentUnavailableView(QStringLiteral("Select a network"), Symbol::wifi)) {
    timeframePicker_->setObjectName("timeframePicker");
    networkList_->setObjectName("networkList");
    listLoading_->setObjectName("listLoading");
    listLoading_->setContentsMargins(0, 16, 0, 0);
    layout_->setListOverlay(listLoading_);
    detailLoading_->setObjectName("detailLoading");
    auto* progress = new ProgressIndicator(QStringLiteral("Loading network details\u2026"), detailLoading_);
    progress->setObjectName("detailProgress");
    (new QVBoxLayout(detailLoading_))->addWidget(progress, 0, Qt::AlignCenter);
    detailView_->setObjectName("detailView");
    noSelection_->setObjectName("noSelection");
    for (QWidget* page : {detailLoading_, static_cast<QWidget*>(detailView_), static_cast<QWidget*>(noSelection_)}) {
        layout_->addDetailPage(page);
    }
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(layout_);

    // Each tick asks anew without waiting for the answer; the cache answers when it is young.
    new LiveRefresh(this, liveRefreshInterval, [this] {
        if (viewModel_) viewModel_->refresh(false);
    });
    connect(viewModel, &NetworksViewModel::timeframeChanged, this, &NetworksView::showTimeframe);
    connect(viewModel, &NetworksViewModel::networksChanged, this, &NetworksView::showList);
    connect(viewModel, &NetworksViewModel::isLoadingListChanged, this, &NetworksView::showList);
    connect(viewModel, &NetworksViewModel::errorMessageChanged, this, &NetworksView::showError);
    connect(viewModel, &NetworksViewModel::isLoadingDetailChanged, this, &NetworksView::showDetailColumn);
    connect(viewModel, &NetworksViewModel::selectedDetailChanged, this, &NetworksView::showDetailColumn);
    connect(timeframePicker_, &SegmentedPicker::chosen, this, [this](int index) {
        if (viewModel_) viewModel_->setTimeframe(allTimeframePresets.at(static_cast<std::size_t>(index)));
    });
    // The row's network at the time of the click: rows are reused for other networks.
    connect(networkList_, &RowList::rowClicked, this, [this](int index) {
        if (!viewModel_ || static_cast<std::size_t>(index) >= viewModel_->networks().size()) return;
        viewModel_->selectNetwork(QString::fromStdString(viewModel_->networks()[static_cast<std::size_t>(index)].id));
    });
    showTimeframe();
    showList();
    showError();
    showDetailColumn();
}

void NetworksView::showTimeframe() {
    if (viewModel_) timeframePicker_->setCurrentIndex(static_cast<int>(viewModel_->timeframe()));
}

void NetworksView::showList() {
    if (!viewModel_) return;
    const auto& networks = viewModel_->networks();
    networkList_->setRowCount(networks.size(), [](QWidget* parent) { return new NetworkRow(parent); });
    for (std::size_t i = 0; i < networks.size(); ++i)
        static_cast<NetworkRow*>(networkList_->rows()[i])->setItem(networks[i]);
    // Only the first load shows it: while the list has entries, reloads show no indicator.
    listLoading_->setVisible(viewModel_->isLoadingList() && networks.empty());
}

void NetworksView::showError() {
    layout_->setError(viewModel_ ? viewModel_->errorMessage() : QString());
}

void NetworksView::showDetailColumn() {
    if (!viewModel_) return;
    if (viewModel_->isLoadingDetail()) {
        layout_->showDetailPage(detailLoading_);
    } else if (const auto& detail = viewModel_->selectedDetail()) {
        detailView_->setModel(*detail);
        layout_->showDetailPage(detailView_);
    } else {
        layout_->showDetailPage(noSelection_);
    }
}

void NetworksView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A list from an earlier visit stays as it is until the first tick.
    if (viewModel_ && viewModel_->networks().empty()) viewModel_->refresh(false);
}

}  // namespace ostrel
