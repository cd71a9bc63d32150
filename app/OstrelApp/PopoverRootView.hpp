#pragma once

#include <QWidget>
#include <memory>

#include "OstrelApp/PopoverHeader.hpp"
#include "OstrelApp/PopoverTabs.hpp"

namespace ostrel {

class AppsViewModel;
class MainQueue;
class MenuBarViewModel;
class NetworksViewModel;
class OstrelDataService;
class OverviewViewModel;
class PreferencesViewModel;

// The whole content of the popover, exactly 880 x 680: the header over the four tabs, Overview,
// Networks, Apps and Prefs. Built once, with the tray item's controller, it creates the four
// screens with their view models and keeps them for the life of the process, across closing and
// opening the popover. A view model loads nothing until its screen is first shown; each shown
// screen then refreshes at the interval its tab gives it (PopoverTabs::liveRefreshInterval).
class PopoverRootView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 880;
    static constexpr int kHeight = 680;

    PopoverRootView(std::shared_ptr<OstrelDataService> dataService, MenuBarViewModel* menuBarViewModel,
                    QWidget* parent = nullptr);
    ~PopoverRootView() override;

    PopoverHeader* header() const { return header_; }
    PopoverTabs* tabs() const { return tabs_; }
    // Read once, at construction: the data service settles it at its own start.
    bool vellCoreAvailable() const { return vellCoreAvailable_; }

    OverviewViewModel* overviewViewModel() const { return overviewViewModel_.get(); }
    NetworksViewModel* networksViewModel() const { return networksViewModel_.get(); }
    AppsViewModel* appsViewModel() const { return appsViewModel_.get(); }
    PreferencesViewModel* prefsViewModel() const { return prefsViewModel_.get(); }

signals:
    void quitRequested();

private:
    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<MainQueue> mainQueue_;
    MenuBarViewModel* menuBarViewModel_;
    bool vellCoreAvailable_;
    std::unique_ptr<OverviewViewModel> overviewViewModel_;
    std::unique_ptr<NetworksViewModel> networksViewModel_;
    std::unique_ptr<AppsViewModel> appsViewModel_;
    std::unique_ptr<PreferencesViewModel> prefsViewModel_;
    PopoverHeader* header_;
    PopoverTabs* tabs_;
};

}  // namespace ostrel
