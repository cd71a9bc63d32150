#include "OstrelApp/PopoverRootView.hpp"

#include <QCoreApplication>
#include <QVBoxLayout>

#include "Features/Apps/AppsView.hpp"
#include "Features/Networks/NetworksView.hpp"
#include "Features/Overview/OverviewView.hpp"
#include "Features/Preferences/PreferencesView.hpp"
#include "Platform/BundleInfo.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/OverviewViewModel.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel {

PopoverRootView::PopoverRootView(std::shared_ptr<OstrelDataService> dataService, MenuBarViewModel* menuBarViewModel,
                                 QWidget* parent)
    : QWidget(parent),
      dataService_(std::move(dataService)),
      // The application's event loop, as the other view models of the program have it.
      mainQueue_(std::make_shared<QtMainQueue>(QCoreApplication::instance())),
      menuBarViewModel_(menuBarViewModel),
      vellCoreAvailable_(dataService_->vellCoreAvailable()),
      overviewViewModel_(std::make_unique<OverviewViewModel>(dataService_, mainQueue_)),
      networksViewModel_(std::make_unique<NetworksViewModel>(dataService_, mainQueue_)),
      appsViewModel_(std::make_unique<AppsViewModel>(dataService_, mainQueue_)),
      // No location service given: the program's shared one.
      prefsViewModel_(std::make_unique<PreferencesViewModel>(dataService_, nullptr, mainQueue_)),
      header_(new PopoverHeader(menuBarViewModel_, this)) {
    setObjectName("popoverRoot");
    setFixedSize(kWidth, kHeight);
    const auto interval = [](PopoverTab tab) { return *PopoverTabs::liveRefreshInterval(tab); };
    tabs_ = new PopoverTabs({new OverviewView(overviewViewModel_.get(), interval(PopoverTab::overview)),
                             new NetworksView(networksViewModel_.get(), interval(PopoverTab::networks)),
                             new AppsView(appsViewModel_.get(), interval(PopoverTab::apps)),
                             new PreferencesView(*prefsViewModel_, vellCoreAvailable_,
                                                 BundleInfo::forRunningProgram(*dataService_->logSink()))},
                            this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(tabs_, 1);
    connect(header_, &PopoverHeader::quitRequested, this, &PopoverRootView::quitRequested);
}

// The screens go before the view models they show.
PopoverRootView::~PopoverRootView() {
    delete tabs_;
}

}  // namespace ostrel
