#include "PlatformAdapters/support/SamplingRig.hpp"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/ToolPaths.hpp"

namespace ostrel::testing {
namespace {

class Connection final {
public:
    explicit Connection(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            throw std::runtime_error("cannot open " + path);
        }
        sqlite3_busy_timeout(db_, 5000);
    }
    ~Connection() { sqlite3_close(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    template <class Read>
    void first(const std::string& sql, Read read) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
        const int step = sqlite3_step(statement);
        if (step == SQLITE_ROW) {
            read(statement);
        }
        sqlite3_finalize(statement);
        if (step != SQLITE_ROW && step != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
    }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace

void ScriptedAttribution::set(std::vector<AppUsageAttribution> attributions) {
    std::lock_guard lock(mutex_);
    attributions_ = std::move(attributions);
}

std::vector<AppUsageAttribution> ScriptedAttribution::attributedUsage(std::int64_t, std::int64_t) {
    ++calls_;
    std::lock_guard lock(mutex_);
    return attributions_;
}

AppUsageAttribution attribution(const std::string& appID, std::int64_t rx, std::int64_t tx) {
    AppUsageAttribution a;
    a.appID = appID;
    a.bundleID = appID;
    a.name = "Name of " + appID;
    a.rxBytes = rx;
    a.txBytes = tx;
    a.confidence = 0.55;
    a.source = "nettop";
    return a;
}

SamplingRig::SamplingRig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-sampling-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder = pattern;
    databasePath = folder + "/ostrel.sqlite";
    clockNs = std::chrono::nanoseconds(std::chrono::hours(24 * 365 * 56)).count();

    auto source = std::make_unique<FakeInterfaceCounterSource>();
    counters = source.get();
    counters->set({{"eth0", 0, 0}, {"lo", 0, 0}});
    routeThrough("eth0");

    ToolPaths paths = ToolPaths::inLibexec("/test/libexec");
    paths.route = routeTool;
    auto clock = [this] { return now(); };
    repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(databasePath));
    coordinator = SamplingCoordinator::create(
        std::make_unique<TrafficMonitorAdapter>(std::move(source), tools, routeTool, clock),
        std::make_unique<NetworkIdentityResolver>(wifi, tools, paths),
        std::make_unique<TrafficAttributionLayer>(std::vector<std::shared_ptr<TrafficAttributionProviding>>{provider}),
        repository, mainQueue, log, clock);
    coordinator->setOnNewSampleBatch([this] { ++batches; });
}

SamplingRig::~SamplingRig() {
    coordinator.reset();
    repository.reset();
    std::filesystem::remove_all(folder);
}

void SamplingRig::traffic(std::uint32_t rx, std::uint32_t tx) {
    eth0Rx += rx;
    eth0Tx += tx;
    counters->set({{"eth0", eth0Rx, eth0Tx}, {"lo", eth0Rx * 3, eth0Tx * 3}});
}

void SamplingRig::routeThrough(const std::string& interface) {
    tools->answer(routeTool, "route to: default\ninterface: " + interface + "\n");
}

std::int64_t SamplingRig::scalar(const std::string& sql) const {
    Connection connection(databasePath);
    std::int64_t value = 0;
    connection.first(sql, [&](sqlite3_stmt* s) { value = sqlite3_column_int64(s, 0); });
    return value;
}

std::string SamplingRig::text(const std::string& sql) const {
    Connection connection(databasePath);
    std::string value;
    connection.first(sql, [&](sqlite3_stmt* s) {
        if (const auto* t = sqlite3_column_text(s, 0)) value = reinterpret_cast<const char*>(t);
    });
    return value;
}

void SamplingRig::execute(const std::string& sql) const {
    Connection connection(databasePath);
    connection.first(sql, [](sqlite3_stmt*) {});
}

}  // namespace ostrel::testing
