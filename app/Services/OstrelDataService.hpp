#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/LoginItem.hpp"
#include "Platform/MainQueue.hpp"
#include "Platform/NotificationCenter.hpp"
#include "Platform/SerialQueue.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"
#include "Services/AnalyticsService.hpp"
#include "Services/LoginItemService.hpp"
#include "Services/MockDataSeeder.hpp"
#include "Services/NotificationService.hpp"
#include "Services/VellCoreBridge.hpp"

namespace ostrel {

// Start-up failed where the program cannot go on: no database folder, database or settings.
class OstrelDataServiceError final : public std::runtime_error {
public:
    explicit OstrelDataServiceError(const std::string& what, bool databaseBusy = false)
        : std::runtime_error(what), databaseBusy_(databaseBusy) {}
    // Another connection held the database's lock for longer than SQLite waits: a later try may
    // succeed.
    bool databaseBusy() const { return databaseBusy_; }

private:
    bool databaseBusy_;
};

// The one object through which the user interface reaches the data. Creating it starts the
// system: the database under the XDG data folder, the settings, the core library, the sampler.
// Then it answers the screens from short-lived caches, keeps the settings and tells its
// observers of new samples, a changed active network and changed settings.
//
// Threads: the loads, updateSettings() and clearAllData() run on the caller's thread (the view
// models' worker queues, never the main thread, which must not wait for the database) and may
// run on several at once; settings() may be read from any thread and never waits for a save.
// The observers may be added and removed from any thread and are called on the thread that
// announces: the main queue after a sampler batch or a changed active network, the caller's after
// a change or a clear.
class OstrelDataService final : public std::enable_shared_from_this<OstrelDataService> {
public:
    static constexpr const char* workerQueueLabel = "ostrel.data.worker.queue";
    static constexpr double menuBarCacheTTL = 2.0;
    static constexpr double overviewCacheTTL = 5.0;
    static constexpr double listCacheTTL = 12.0;
    static constexpr double detailCacheTTL = 12.0;
    static constexpr const char* startFailurePrefix = "Failed to initialize OstrelDataService: ";

    using Observer = std::function<void()>;
    using ObserverID = std::string;
    using SamplerFactory = std::function<std::shared_ptr<SamplingCoordinator>(
        std::shared_ptr<OstrelRepository>, std::shared_ptr<MainQueue>, std::shared_ptr<LogSink>)>;

    // What the service is built from; tests give their own folders and fakes.
    struct Dependencies {
        // The folder that holds "Ostrel/ostrel.sqlite"; empty when none is known.
        std::string dataHome;
        bool mockDataEnabled = false;
        std::shared_ptr<MainQueue> mainQueue;
        std::shared_ptr<LogSink> log;
        std::shared_ptr<NotificationCenter> notificationCenter;
        std::optional<std::string> bundleIdentifier;
        std::shared_ptr<LoginItem> loginItem;
        // Asked once, after the settings.
        std::function<std::shared_ptr<const VellCoreBridge>()> vellCore = &VellCoreBridge::shared;
        // Builds the stopped sampler over the service's repository.
        SamplerFactory makeSampler;
        std::function<Date()> clock = currentDate;

        // This process: $XDG_DATA_HOME (else ~/.local/share), OSTREL_ENABLE_MOCK_DATA, the
        // session bus, the program's Info.json and autostart entry, the shared core-library
        // bridge and the sampler over this machine.
        static Dependencies forThisProcess(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<LogSink> log);
        // True exactly for the text "1".
        static bool mockDataEnabledBy(const char* value);
        // $XDG_DATA_HOME when it is an absolute path (the XDG rules ignore any other), else
        // $HOME/.local/share; empty when neither is known.
        static std::string dataHomeFromEnvironment();
    };

    // Runs the start-up sequence. Throws OstrelDataServiceError, whose text begins
    // "Failed to initialize OstrelDataService: ", when the database folder, the database, its
    // migration or the settings fail; every later failure is logged and start-up goes on. The
    // program holds the lock on the database before it calls this.
    static std::shared_ptr<OstrelDataService> create(Dependencies dependencies);
    // The process's one instance, created by the first call from this process's environment
    // with that call's main queue. A failed start ends the process (exitAfterFailedStart) unless
    // `tryAgain` answers true for its error; it is then started anew.
    static std::shared_ptr<OstrelDataService> shared(
        std::shared_ptr<MainQueue> mainQueue, const std::function<bool(const OstrelDataServiceError&)>& tryAgain = {});
    // The database file under `dataHome`, its folder created when missing; throws when there is
    // no data folder or the folder cannot be made.
    static std::string databasePath(const std::string& dataHome);

    // Stops the sampler, which writes what it has buffered.
    ~OstrelDataService();
    OstrelDataService(const OstrelDataService&) = delete;
    OstrelDataService& operator=(const OstrelDataService&) = delete;

    // The core library and all four of its functions were found; fixed at start-up.
    bool vellCoreAvailable() const { return vellCoreAvailable_; }
    // Where the service logs; the user interface logs its own lines there too.
    std::shared_ptr<LogSink> logSink() const { return log_; }
    // One whole value, from any thread.
    OstrelSettings settings() const;

    ObserverID addObserver(Observer observer);
    void removeObserver(const ObserverID& id);
    std::size_t observerCount() const;

    // The store the service writes through; the preferences screen reads the active network there.
    OstrelRepository& repository() const { return *repository_; }

    // Applies `change` and saves the settings; a failing save is thrown, and the changed value
    // stays in use until a later save or a restart. Then empties every cache, registers or
    // unregisters the login item (a failure is logged) and calls every observer.
    void updateSettings(const std::function<void(OstrelSettings&)>& change);
    // Stops sampling (writing what is buffered), deletes all measured data, and samples again
    // from a fresh baseline. A failing deletion is thrown after the restart, with the caches and
    // observers left alone; otherwise the caches are emptied and the observers called.
    void clearAllData();
    // Stops sampling for good, writing what is buffered: the program leaves its database.
    void stopSampling();

    // Cached loads: an answer younger than its time to live (in seconds, inclusive; a negative age
    // counts as young) comes from the cache unless forced. Store and analytics errors are thrown
    // and leave the cache alone. An overview computed afresh records the threshold event and,
    // with notifications on, posts a notification at the warning or danger level.
    OverviewSnapshot loadOverview(TimeframePreset timeframe, const std::optional<DateRange>& customRange,
                                  bool forceRefresh = false);
    MenuBarSnapshot loadMenuBarSnapshot();
    std::vector<NetworkListItem> loadNetworks(TimeframePreset timeframe, const std::optional<DateRange>& customRange,
                                              bool forceRefresh = false);
    std::vector<ApplicationListItem> loadApplications(TimeframePreset timeframe,
                                                      const std::optional<DateRange>& customRange,
                                                      bool forceRefresh = false);
    // Nothing, and nothing cached, for an identifier the store does not know.
    std::optional<NetworkDetailModel> loadNetworkDetail(const std::string& networkID, TimeframePreset timeframe,
                                                        const std::optional<DateRange>& customRange,
                                                        bool forceRefresh = false);
    std::optional<ApplicationDetailModel> loadApplicationDetail(const std::string& appID, TimeframePreset timeframe,
                                                                const std::optional<DateRange>& customRange,
                                                                bool forceRefresh = false);

    // "daily", "weekly", "monthly", "yearly"; "custom:<start>:<end>" in seconds since 1970
    // (custom:0.0:10.5), or "custom" without a range.
    static std::string overviewCacheKey(TimeframePreset timeframe, const std::optional<DateRange>& customRange);
    // "<id>:" and the overview key.
    static std::string detailCacheKey(const std::string& id, TimeframePreset timeframe,
                                      const std::optional<DateRange>& customRange);

private:
    struct Token {};

public:
    OstrelDataService(Token, Dependencies dependencies);

private:
    template <class Value>
    struct TimedCache {
        Value value;
        Date updatedAt;  // when the load that computed it began
    };
    template <class Value>
    using CacheMap = std::map<std::string, TimedCache<Value>>;
    struct Caches {
        std::optional<TimedCache<MenuBarSnapshot>> menuBar;
        CacheMap<OverviewSnapshot> overview;
        CacheMap<std::vector<NetworkListItem>> networks;
        CacheMap<std::vector<ApplicationListItem>> applications;
        CacheMap<NetworkDetailModel> networkDetail;
        CacheMap<ApplicationDetailModel> applicationDetail;
    };

    // Steps 12 to 16 of start-up, once the service is shared.
    void startUp(SamplerFactory makeSampler, bool mockDataEnabled);
    OstrelSettings settleSettings();

    template <class Value, class Compute>
    auto cachedLoad(CacheMap<Value> Caches::*cache, const std::string& key, double timeToLive, bool forceRefresh,
                    Compute compute);
    OverviewSnapshot computeOverview(TimeframePreset timeframe, const std::optional<DateRange>& customRange);
    MenuBarSnapshot buildMenuBarSnapshot();
    void handleSamplerBatch();
    void publishUpdate();
    void clearAnalyticsCaches(bool keepMenuBar);

    std::shared_ptr<MainQueue> mainQueue_;
    std::shared_ptr<LogSink> log_;
    std::function<Date()> clock_;
    std::unique_ptr<NotificationService> notificationService_;
    std::unique_ptr<LoginItemService> loginItemService_;
    std::shared_ptr<OstrelRepository> repository_;
    std::unique_ptr<AnalyticsService> analytics_;
    std::unique_ptr<MockDataSeeder> seeder_;
    std::shared_ptr<SamplingCoordinator> sampler_;
    bool vellCoreAvailable_ = false;

    mutable std::mutex settingsMutex_;  // held only to copy or replace the value
    OstrelSettings settings_;
    std::mutex settingsUpdateMutex_;  // held through a whole change, its save included
    std::mutex clearMutex_;
    bool samplingStopped_ = false;  // under clearMutex_
    mutable std::mutex observersMutex_;
    std::map<ObserverID, Observer> observers_;
    // The one lock of the caches, held for a look-up or a store, never while computing.
    std::mutex cacheMutex_;
    Caches caches_;

    // Destroyed early, while everything its queued work could reach still exists.
    SerialQueue workerQueue_{workerQueueLabel};
};

// Ends the process after a failed start: the error's text on standard error and in the log, exit
// status 1.
[[noreturn]] void exitAfterFailedStart(const std::exception& error, LogSink& log);

}  // namespace ostrel
