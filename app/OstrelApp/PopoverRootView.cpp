#include "OstrelApp/PopoverRootView.hpp"

#include <QVBoxLayout>

#include "Services/OstrelDataService.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {

PopoverRootView::PopoverRootView(std::shared_ptr<OstrelDataService> dataService, MenuBarViewModel* menuBarViewModel,
                                 QWidget* parent)
    : QWidget(parent),
      dataService_(std::move(dataService)),
      menuBarViewModel_(menuBarViewModel),
      vellCoreAvailable_(dataService_->vellCoreAvailable()),
      header_(new PopoverHeader(menuBarViewModel_, this)),
      tabs_(new PopoverTabs(this)) {
    setObjectName("popoverRoot");
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(tabs_, 1);
    connect(header_, &PopoverHeader::quitRequested, this, &PopoverRootView::quitRequested);
}

}  // namespace ostrel
