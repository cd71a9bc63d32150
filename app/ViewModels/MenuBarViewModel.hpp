#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Platform/MainQueue.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/WorkerQueue.hpp"

namespace ostrel {

// What the tray item and the popover's header show about today. It reloads itself whenever the
// data service announces new data, and only the newest of overlapping reloads is published.
// Lives on the main thread: the properties change and their signals fire there only. It never
// waits there for the data service: loads and saves run on its worker queue, in the order asked.
class MenuBarViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString menuBarText READ menuBarText NOTIFY menuBarTextChanged)
    Q_PROPERTY(ostrel::UsageSummary todaySummary READ todaySummary NOTIFY todaySummaryChanged)
    // Today's figures as the popover's header shows them: received + sent, and each direction.
    Q_PROPERTY(QString todayTotalText READ todayTotalText NOTIFY todaySummaryChanged)
    Q_PROPERTY(QString todayDirectionsText READ todayDirectionsText NOTIFY todaySummaryChanged)
    Q_PROPERTY(QString activeNetworkTitle READ activeNetworkTitle NOTIFY activeNetworkTitleChanged)
    Q_PROPERTY(QString topAppTitle READ topAppTitle NOTIFY topAppTitleChanged)
    Q_PROPERTY(QString topNetworkTitle READ topNetworkTitle NOTIFY topNetworkTitleChanged)
    Q_PROPERTY(ostrel::MenuBarDisplayMode displayMode READ displayMode NOTIFY displayModeChanged)

public:
    static constexpr const char* workerQueueLabel = "ostrel.menubar.viewmodel.queue";

    // Registers with the data service and starts the first refresh.
    MenuBarViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                     QObject* parent = nullptr);
    // Removes the observer entry; a refresh or save still under way finishes without it, and its
    // answer is dropped.
    ~MenuBarViewModel() override;

    QString menuBarText() const { return menuBarText_; }
    UsageSummary todaySummary() const { return todaySummary_; }
    QString todayTotalText() const;
    QString todayDirectionsText() const;
    QString activeNetworkTitle() const { return activeNetworkTitle_; }
    QString topAppTitle() const { return topAppTitle_; }
    QString topNetworkTitle() const { return topNetworkTitle_; }
    MenuBarDisplayMode displayMode() const { return displayMode_; }

    // Reloads in the background and returns at once.
    void refresh();
    // Saves the mode in the background. The mode and the text change at once, before the save
    // and before the reload the change triggers; a failed save is logged and brings back what
    // the model showed without this choice.
    void updateDisplayMode(MenuBarDisplayMode mode);

    static QString makeMenuBarText(MenuBarDisplayMode mode, const UsageSummary& summary);

signals:
    void menuBarTextChanged();
    void todaySummaryChanged();
    void activeNetworkTitleChanged();
    void topAppTitleChanged();
    void topNetworkTitleChanged();
    void displayModeChanged();
    // The newest refresh's answer has been applied, or its failure shown; after the fields' own
    // signals, whether or not any of them changed.
    void refreshFinished();

private:
    struct Outcome {
        std::optional<MenuBarSnapshot> snapshot;
        MenuBarDisplayMode mode = MenuBarDisplayMode::totalToday;
        std::string error;
    };
    void publish(std::uint64_t generation, const Outcome& outcome);
    void finishDisplayModeUpdate(const std::optional<std::string>& error);
    // The mode and the text as the state below gives them, each announced when it changes.
    void showModeAndText();
    void setMenuBarText(const QString& value);
    void setDisplayMode(MenuBarDisplayMode value);

    QString menuBarText_ = QStringLiteral("Ostrel");
    UsageSummary todaySummary_;
    QString activeNetworkTitle_ = QStringLiteral("Unknown");
    QString topAppTitle_ = QStringLiteral("-");
    QString topNetworkTitle_ = QStringLiteral("-");
    MenuBarDisplayMode displayMode_ = MenuBarDisplayMode::totalToday;

    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<MainQueue> mainQueue_;
    std::optional<OstrelDataService::ObserverID> observerID_;
    std::uint64_t refreshGeneration_ = 0;
    // The mode as the data service last gave it, read by a refresh or saved by a choice; the
    // choices whose saves have not answered yet, oldest first, the newest of which is shown.
    MenuBarDisplayMode serviceMode_ = MenuBarDisplayMode::totalToday;
    std::deque<MenuBarDisplayMode> pendingModes_;
    // "Ostrel" stands in for the figures: before the first answer and after a failed one.
    bool showsName_ = true;
    // Released without waiting: work still queued runs on, and its answer is dropped.
    WorkerQueue workerQueue_{workerQueueLabel};
};

}  // namespace ostrel
