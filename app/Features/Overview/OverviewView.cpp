#include "Features/Overview/OverviewView.hpp"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Features/Overview/RankedList.hpp"
#include "Features/Overview/SummaryCards.hpp"
#include "Features/Overview/TimeframeControls.hpp"
#include "Features/Overview/TrendCard.hpp"
#include "UI/LiveRefresh.hpp"
#include "UI/ProgressIndicator.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

constexpr int kTopListMinimumHeight = 206;

SectionCard* topListCard(const QString& title, const char* name, RankedList* list, QWidget* parent) {
    auto* card = new SectionCard(title, list, parent);
    card->setObjectName(name);
    card->setMinimumHeight(kTopListMinimumHeight);
    // The two cards share the width equally, whatever their rows hold.
    card->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return card;
}

}  // namespace

OverviewView::OverviewView(OverviewViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent)
    : QWidget(parent), viewModel_(viewModel) {
    new LiveRefresh(this, liveRefreshInterval, [this] {
        if (viewModel_) viewModel_->refresh(false);
    });

    auto* content = new QWidget;
    content->setObjectName("content");
    // Scrolled rather than squeezed below the height it asks for.
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);

    controls_ = new TimeframeControls(viewModel, content);
    controls_->setObjectName("timeframeControls");
    summaryCards_ = new SummaryCards(content);
    summaryCards_->setObjectName("summaryCards");
    trendCard_ = new TrendCard(content);
    trendCard_->setObjectName("trendCard");

    topLists_ = new QWidget(content);
    topLists_->setObjectName("topLists");
    auto* listsLayout = new QHBoxLayout(topLists_);
    listsLayout->setContentsMargins(0, 0, 0, 0);
    listsLayout->setSpacing(12);
    topNetworks_ = new RankedList;
    topNetworks_->setObjectName("topNetworksList");
    topApplications_ = new RankedList;
    topApplications_->setObjectName("topApplicationsList");
    listsLayout->addWidget(topListCard(QStringLiteral("Top Networks"), "topNetworksCard", topNetworks_, topLists_), 1,
                           Qt::AlignTop);
    listsLayout->addWidget(
        topListCard(QStringLiteral("Top Applications"), "topApplicationsCard", topApplications_, topLists_), 1,
        Qt::AlignTop);

    errorText_ = new StyledLabel(TextStyle::body, StatusColor::red);
    errorText_->setObjectName("errorText");
    errorText_->setWordWrap(true);
    errorCard_ = new SectionCard(QStringLiteral("Error"), errorText_, content);
    errorCard_->setObjectName("errorCard");

    progress_ = new ProgressIndicator({}, content);
    progress_->setObjectName("progressIndicator");

    // Aligned, the parts keep the height they need: a card would otherwise take a share of the
    // spare height, since its own content stays at its top.
    for (QWidget* part : {static_cast<QWidget*>(controls_), static_cast<QWidget*>(summaryCards_),
                          static_cast<QWidget*>(trendCard_), topLists_, static_cast<QWidget*>(errorCard_)}) {
        layout->addWidget(part, 0, Qt::AlignTop);
    }
    layout->addWidget(progress_, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch();

    auto* scrollArea = new QScrollArea(this);
    scrollArea->setObjectName("scrollArea");
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setWidgetResizable(true);
    scrollArea->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scrollArea);

    connect(viewModel, &OverviewViewModel::snapshotChanged, this, &OverviewView::showSnapshot);
    connect(viewModel, &OverviewViewModel::errorMessageChanged, this, &OverviewView::showState);
    showSnapshot();
}

void OverviewView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (viewModel_) viewModel_->loadIfNeeded();
}

void OverviewView::showSnapshot() {
    if (viewModel_ && viewModel_->snapshot()) {
        const OverviewSnapshot& snapshot = *viewModel_->snapshot();
        summaryCards_->setSnapshot(snapshot);
        trendCard_->setSnapshot(snapshot);
        topNetworks_->setItems(snapshot.topNetworks);
        topApplications_->setItems(snapshot.topApplications);
    }
    showState();
}

// An error shows only while there is no overview: one already shown stays until a later answer.
void OverviewView::showState() {
    const bool hasSnapshot = viewModel_ && viewModel_->snapshot().has_value();
    const bool hasError = !hasSnapshot && viewModel_ && !viewModel_->errorMessage().isNull();
    if (hasError) errorText_->setText(viewModel_->errorMessage());
    summaryCards_->setVisible(hasSnapshot);
    trendCard_->setVisible(hasSnapshot);
    topLists_->setVisible(hasSnapshot);
    errorCard_->setVisible(hasError);
    progress_->setVisible(!hasSnapshot && !hasError);
}

}  // namespace ostrel
