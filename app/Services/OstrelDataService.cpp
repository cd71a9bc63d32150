#include "Services/OstrelDataService.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "Model/Uuid.hpp"
#include "Platform/BundleInfo.hpp"
#include "Platform/DbusNotificationCenter.hpp"
#include "Platform/PrivateFolders.hpp"
#include "Platform/ProgramLocation.hpp"
#include "Platform/XdgAutostartItem.hpp"
#include "Platform/XdgFolders.hpp"
#include "Services/SamplingPipeline.hpp"

namespace ostrel {

OstrelDataService::Dependencies OstrelDataService::Dependencies::forThisProcess(std::shared_ptr<MainQueue> mainQueue,
                                                                                std::shared_ptr<LogSink> log) {
    const std::string program = currentExecutablePath();
    Dependencies dependencies;
    dependencies.dataHome = dataHomeFromEnvironment();
    dependencies.mockDataEnabled = mockDataEnabledBy(std::getenv("OSTREL_ENABLE_MOCK_DATA"));
    dependencies.mainQueue = std::move(mainQueue);
    dependencies.notificationCenter = std::make_shared<DbusNotificationCenter>();
    dependencies.bundleIdentifier = BundleInfo::forRunningProgram(*log).bundleIdentifier();
    dependencies.loginItem =
        std::make_shared<XdgAutostartItem>(XdgAutostartItem::autostartDirFromEnvironment(), program);
    dependencies.makeSampler = [tools = helperToolsDir(program)](std::shared_ptr<OstrelRepository> repository,
                                                                 std::shared_ptr<MainQueue> queue,
                                                                 std::shared_ptr<LogSink> samplerLog) {
        return makeSamplingPipeline(std::move(repository), std::move(queue), std::move(samplerLog), tools);
    };
    dependencies.log = std::move(log);
    return dependencies;
}

bool OstrelDataService::Dependencies::mockDataEnabledBy(const char* value) {
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string OstrelDataService::Dependencies::dataHomeFromEnvironment() {
    return XdgFolders().dataHome();
}

std::shared_ptr<OstrelDataService> OstrelDataService::create(Dependencies dependencies) {
    SamplerFactory makeSampler = std::move(dependencies.makeSampler);
    const bool mockDataEnabled = dependencies.mockDataEnabled;
    auto service = std::make_shared<OstrelDataService>(Token{}, std::move(dependencies));
    service->startUp(std::move(makeSampler), mockDataEnabled);
    return service;
}

std::shared_ptr<OstrelDataService> OstrelDataService::shared(
    std::shared_ptr<MainQueue> mainQueue, const std::function<bool(const OstrelDataServiceError&)>& tryAgain) {
    // Built once even when two threads ask first; never destroyed, so the sampler is still
    // running when the process ends, as it would be after a quit.
    static const auto* const instance = [&] {
        auto log = std::make_shared<SyslogSink>();
        // Made once: a retry waits for the database, not for anything these read.
        std::optional<Dependencies> dependencies;
        for (;;) {
            try {
                if (!dependencies) dependencies = Dependencies::forThisProcess(mainQueue, log);
                return new std::shared_ptr<OstrelDataService>(create(*dependencies));
            } catch (const OstrelDataServiceError& error) {
                if (!tryAgain || !tryAgain(error)) exitAfterFailedStart(error, *log);
            } catch (const std::exception& error) {
                exitAfterFailedStart(error, *log);
            }
        }
    }();
    return *instance;
}

// Steps 1 to 11 of start-up; a failure in 5 to 8 is fatal.
OstrelDataService::OstrelDataService(Token, Dependencies dependencies)
    : mainQueue_(std::move(dependencies.mainQueue)),
      log_(std::move(dependencies.log)),
      clock_(std::move(dependencies.clock)),
      notificationService_(std::make_unique<NotificationService>(
          std::move(dependencies.notificationCenter), std::move(dependencies.bundleIdentifier), log_, clock_)),
      loginItemService_(std::make_unique<LoginItemService>(std::move(dependencies.loginItem))) {
    try {
        const std::string path = databasePath(dependencies.dataHome);
        // A file of another shape would take no sample at all: refused before anything is written.
        repository_ =
            std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path, &OstrelRepository::checkShape));
        settings_ = settleSettings();
    } catch (const SQLiteError& error) {
        throw OstrelDataServiceError(startFailurePrefix + std::string(error.what()),
                                     (error.code() & 0xff) == SQLITE_BUSY);
    } catch (const std::exception& error) {
        throw OstrelDataServiceError(startFailurePrefix + std::string(error.what()));
    }
    const auto vellCore = dependencies.vellCore();
    analytics_ = std::make_unique<AnalyticsService>(repository_, vellCore, clock_);
    seeder_ = std::make_unique<MockDataSeeder>(repository_, log_, clock_);
    vellCoreAvailable_ = vellCore->isAvailable();
}

void OstrelDataService::startUp(SamplerFactory makeSampler, bool mockDataEnabled) {
    sampler_ = makeSampler(repository_, mainQueue_, log_);
    // A changed active network reaches the screens as a batch does, also on a quiet network.
    const auto samplerWrote = [weak = weak_from_this()] {
        if (auto service = weak.lock()) service->handleSamplerBatch();
    };
    sampler_->setOnNewSampleBatch(samplerWrote);
    sampler_->setOnActiveNetworkChange(samplerWrote);
    notificationService_->requestPermissionIfNeeded();
    if (mockDataEnabled) seeder_->seedIfEmpty();
    // Off the start-up path: a rebuild takes seconds at a heavy month. It runs in steps on the
    // database queue: the sampler's writes and today's figures come between them, from the samples,
    // and the roll-up reads after its end. A change of zone later rebuilds the same way.
    repository_->purgeAndRepairInTurn(!mockDataEnabled, [log = log_](bool purge, const std::exception& error) {
        log->log(std::string(purge ? "Failed purging mock data: " : "Failed repairing rollups: ") + error.what());
    });
    sampler_->start();
}

OstrelDataService::~OstrelDataService() {
    if (sampler_) sampler_->stop();
}

std::string OstrelDataService::databasePath(const std::string& dataHome) {
    if (dataHome.empty()) {
        throw std::runtime_error("No folder for the database: neither XDG_DATA_HOME nor HOME is set");
    }
    const std::filesystem::path folder = std::filesystem::path(dataHome) / "Ostrel";
    const auto path = (folder / "ostrel.sqlite").string();
    // Whatever is there already is used as it is; a file in the way fails at the open. Only the
    // program's own folder and files are closed to other accounts, also those an earlier version
    // left open: they could read every sample, and hold locks that stop starts and writes.
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder))) {
        if (const int error = makePrivateFolders(folder.string()); error != 0) {
            throw std::filesystem::filesystem_error("cannot create directories", folder,
                                                    std::error_code(error, std::generic_category()));
        }
    } else {
        narrowOwnedToOwner(folder.string());
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) narrowOwnedToOwner(path + suffix);
    }
    // SQLite gives its side files the database file's mode, so the file is made before SQLite
    // makes it 0644. A failure here shows at the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd >= 0) ::close(fd);
    return path;
}

OstrelSettings OstrelDataService::settleSettings() {
    if (auto stored = repository_->loadSettings()) return *stored;
    repository_->saveSettings(OstrelSettings{});
    return repository_->loadSettings().value_or(OstrelSettings{});
}

OstrelSettings OstrelDataService::settings() const {
    std::lock_guard lock(settingsMutex_);
    return settings_;
}

OstrelDataService::ObserverID OstrelDataService::addObserver(Observer observer) {
    ObserverID id = makeUuidString();
    std::lock_guard lock(observersMutex_);
    observers_.emplace(id, std::move(observer));
    return id;
}

void OstrelDataService::removeObserver(const ObserverID& id) {
    std::lock_guard lock(observersMutex_);
    observers_.erase(id);
}

std::size_t OstrelDataService::observerCount() const {
    std::lock_guard lock(observersMutex_);
    return observers_.size();
}

void OstrelDataService::publishUpdate() {
    std::map<ObserverID, Observer> observers;
    {
        std::lock_guard lock(observersMutex_);
        observers = observers_;
    }
    for (const auto& [id, observer] : observers) observer();
}

// Changes may come from several view models' worker queues at once: one change at a time, from
// reading the value to registering the login item, so that none is lost and the store ends with
// the newest. Readers of settings() never wait for the save.
void OstrelDataService::updateSettings(const std::function<void(OstrelSettings&)>& change) {
    std::unique_lock updating(settingsUpdateMutex_);
    OstrelSettings changed = settings();
    change(changed);
    {
        std::lock_guard lock(settingsMutex_);
        settings_ = changed;
    }
    repository_->saveSettings(changed);
    clearAnalyticsCaches(false);
    try {
        loginItemService_->setLaunchAtLogin(changed.launchAtLogin);
    } catch (const std::exception& error) {
        log_->log(std::string("Launch at login update failed: ") + error.what());
    }
    updating.unlock();
    publishUpdate();
}

// One clear at a time, so that one clear's restart never resumes sampling under another's deletion.
void OstrelDataService::clearAllData() {
    std::unique_lock clearing(clearMutex_);
    sampler_->stop();
    std::exception_ptr failure;
    try {
        repository_->clearAllData();
    } catch (...) {
        failure = std::current_exception();
    }
    sampler_->resetBaseline();
    if (!samplingStopped_) sampler_->start();
    if (failure) std::rethrow_exception(failure);
    clearAnalyticsCaches(false);
    clearing.unlock();
    publishUpdate();
}

void OstrelDataService::stopSampling() {
    std::lock_guard clearing(clearMutex_);
    samplingStopped_ = true;
    sampler_->stop();
}

void exitAfterFailedStart(const std::exception& error, LogSink& log) {
    std::fprintf(stderr, "%s\n", error.what());
    std::fflush(stderr);
    log.log(error.what());
    std::exit(EXIT_FAILURE);
}

}  // namespace ostrel
