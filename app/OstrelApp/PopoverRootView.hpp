#pragma once

#include <QWidget>
#include <memory>

#include "OstrelApp/PopoverHeader.hpp"
#include "OstrelApp/PopoverTabs.hpp"

namespace ostrel {

class MenuBarViewModel;
class OstrelDataService;

// The whole content of the popover, exactly 880 x 680: the header over the four tabs. Built once;
// its screens live as long as it does, across closing and opening the popover.
class PopoverRootView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 880;
    static constexpr int kHeight = 680;

    PopoverRootView(std::shared_ptr<OstrelDataService> dataService, MenuBarViewModel* menuBarViewModel,
                    QWidget* parent = nullptr);

    PopoverHeader* header() const { return header_; }
    PopoverTabs* tabs() const { return tabs_; }
    // Read once, at construction: the data service settles it at its own start.
    bool vellCoreAvailable() const { return vellCoreAvailable_; }

signals:
    void quitRequested();

private:
    std::shared_ptr<OstrelDataService> dataService_;
    MenuBarViewModel* menuBarViewModel_;
    bool vellCoreAvailable_;
    PopoverHeader* header_;
    PopoverTabs* tabs_;
};

}  // namespace ostrel
