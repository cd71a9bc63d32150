#include <condition_variable>
#include <limits>
#include <mutex>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/RollupRebuild.hpp"
#include "Persistence/RollupRecord.hpp"

namespace ostrel {
namespace {

constexpr std::int64_t lastRowid = std::numeric_limits<std::int64_t>::max();

// The orphan deletes of the purge read every sample's identifier; whether they would delete
// anything at all is a few index look-ups.
constexpr const char* orphanedApplicationSQL =
    "SELECT EXISTS (SELECT 1 FROM applications a\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.app_id = a.id));";
constexpr const char* orphanedNetworkSQL =
    "SELECT EXISTS (SELECT 1 FROM networks n\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.network_id = n.id));";

}  // namespace

// A rebuild in steps: the samples that existed when it began, a range of rowids at a time, then in
// one transaction those written since (the program only adds rows after the largest rowid), and
// the tables. A change by others or of the zone in between makes that transaction start over.
// Outside Rebuild: clang does not see a nested class's member initializers as usable while the
// enclosing class is incomplete, and then refuses to default-construct it in an optional.
struct RebuildSteps {
    std::string zone;
    std::int64_t outsideEdits = 0;
    // The rowids still to read of those that existed at the beginning.
    std::int64_t next = 1, last = 0;
    bool read = true;
    RollupSums sums{Calendar::current()};
};

struct OstrelRepository::Rebuild {
    explicit Rebuild(std::int64_t rows) : step(rows) {}

    using Steps = RebuildSteps;
    const std::int64_t step;
    // On the database queue only.
    std::string noticedZone;
    std::optional<Steps> steps;
    std::function<void(const std::exception&)> failed;
    // Read by the callers that wait for the end.
    std::mutex mutex;
    std::condition_variable ended;
    bool running = false;
};

OstrelRepository::OstrelRepository(std::unique_ptr<SQLiteDatabase> opened, std::int64_t rebuildStep)
    : rebuild_(std::make_unique<Rebuild>(rebuildStep)), database(std::move(opened)) {
    migrate();
}

OstrelRepository::~OstrelRepository() = default;

void OstrelRepository::rebuildRollupsFromUsageSamples(SQLiteConnection& connection, bool inTransaction) {
    auto body = [this](SQLiteConnection& c) {
        // Read first: it also sets the zone SQLite's 'localtime' uses below.
        const TimeZoneIdentity zone = currentZone(c);
        RollupSums sums(Calendar::current());
        sums.add(c, std::numeric_limits<std::int64_t>::min(), lastRowid);
        sums.write(c, zone.rulesKey());
    };
    if (inTransaction) {
        body(connection);
    } else {
        transactionForm(connection, "BEGIN IMMEDIATE TRANSACTION;", body);
    }
    rebuildEnded();
}

bool OstrelRepository::vouched(SQLiteConnection& connection) {
    const TimeZoneIdentity zone = currentZone(connection);
    const auto record = RollupRecord::read(connection);
    return record && record->exactIn(zone);
}

TimeZoneIdentity OstrelRepository::currentZone(SQLiteConnection& connection) {
    TimeZoneIdentity zone = TimeZoneIdentity::current();
    std::string key = zone.rulesKey();
    if (key != rebuild_->noticedZone) {
        const bool changed = !rebuild_->noticedZone.empty();
        rebuild_->noticedZone = std::move(key);
        if (changed) beginSteppedRebuild(connection);
    }
    return zone;
}

void OstrelRepository::beginSteppedRebuild(SQLiteConnection& connection) {
    if (rebuild_->steps) return;  // its last step notices the zone
    {
        std::lock_guard lock(rebuild_->mutex);
        rebuild_->running = true;
    }
    auto& steps = rebuild_->steps.emplace();
    steps.zone = rebuild_->noticedZone;  // every caller has just read the zone
    if (const auto record = RollupRecord::read(connection)) steps.outsideEdits = record->outsideEdits;
    connection.query("SELECT (SELECT MIN(rowid) FROM usage_samples), (SELECT MAX(rowid) FROM usage_samples);", {},
                     [&](const SQLiteRow& row) {
                         if (!row.isNull(0)) steps.next = row.int64(0), steps.last = row.int64(1), steps.read = false;
                     });
    database->runExclusiveLater([this](SQLiteConnection& c) { rebuildStep(c); });
}

void OstrelRepository::rebuildStep(SQLiteConnection& connection) {
    if (!rebuild_->steps) return;  // a whole rebuild or a clear came first
    auto& steps = *rebuild_->steps;
    try {
        if (!steps.read) {
            const auto step = static_cast<std::uint64_t>(rebuild_->step);
            steps.read = static_cast<std::uint64_t>(steps.last) - static_cast<std::uint64_t>(steps.next) < step;
            const std::int64_t to = steps.read ? steps.last : steps.next + static_cast<std::int64_t>(step - 1);
            steps.sums.add(connection, steps.next, to);
            steps.next = to + (steps.read ? 0 : 1);
            database->runExclusiveLater([this](SQLiteConnection& c) { rebuildStep(c); });
            return;
        }
        transactionForm(connection, "BEGIN IMMEDIATE TRANSACTION;", [&](SQLiteConnection& c) {
            const auto record = RollupRecord::read(c);
            const std::string zone = TimeZoneIdentity::current().rulesKey();
            if (zone != steps.zone || !record || record->outsideEdits != steps.outsideEdits ||
                steps.last == lastRowid) {
                rebuildRollupsFromUsageSamples(c, true);
                return;
            }
            steps.sums.add(c, steps.last + 1, lastRowid);
            steps.sums.write(c, zone);
        });
    } catch (const std::exception& error) {
        if (rebuild_->failed) rebuild_->failed(error);
    }
    rebuildEnded();
}

void OstrelRepository::rebuildEnded() {
    rebuild_->steps.reset();
    std::lock_guard lock(rebuild_->mutex);
    rebuild_->running = false;
    rebuild_->ended.notify_all();
}

std::function<void(const SQLiteRowHandler&)> OstrelRepository::rollup(const char* sql,
                                                                      std::vector<SQLiteValue> bindings) {
    return [this, sql, bindings = std::move(bindings)](const SQLiteRowHandler& handler) {
        // Checked on the queue, in turn with the rebuild's steps; waited for off it.
        while (!database->runExclusive([&](SQLiteConnection& connection) {
            if (rebuild_->steps) return false;
            connection.query(sql, bindings, handler);
            return true;
        })) {
            std::unique_lock lock(rebuild_->mutex);
            rebuild_->ended.wait(lock, [&] { return !rebuild_->running; });
        }
    };
}

void OstrelRepository::repairRollupsIfNeeded() {
    database->runExclusive([&](SQLiteConnection& connection) {
        if (!vouched(connection)) rebuildRollupsFromUsageSamples(connection, false);
    });
}

bool OstrelRepository::purgeMockData() {
    return database->runExclusive([&](SQLiteConnection& connection) {
        bool rebuilt = false;
        transactionForm(connection, "BEGIN TRANSACTION;", [&](SQLiteConnection& c) {
            purgeRows(c);
            if (!vouched(c)) {
                rebuildRollupsFromUsageSamples(c, true);
                rebuilt = true;
            }
        });
        return rebuilt;
    });
}

void OstrelRepository::purgeRows(SQLiteConnection& connection) {
    rollup_record::ownWritesBegin(connection);
    connection.execute("DELETE FROM usage_samples WHERE source = 'mock';");
    const bool deleted = connection.queryInt64("SELECT changes();") > 0;
    if (deleted) {
        rollup_record::otherWrites(connection);
        rebuildEnded();  // a rebuild in steps may have read them
    }
    connection.execute("DELETE FROM threshold_events;");
    if (connection.queryInt64(orphanedApplicationSQL) == 1) {
        connection.execute("DELETE FROM applications WHERE id NOT IN (SELECT DISTINCT app_id FROM usage_samples);");
    }
    if (connection.queryInt64(orphanedNetworkSQL) == 1) {
        connection.execute("DELETE FROM networks WHERE id NOT IN (SELECT DISTINCT network_id FROM usage_samples);");
    }
    rollup_record::ownWritesEnd(connection);
}

void OstrelRepository::purgeAndRepairInTurn(bool purge, std::function<void(bool, const std::exception&)> failed) {
    database->runExclusiveLater([this, purge, failed = std::move(failed)](SQLiteConnection& connection) {
        rebuild_->failed = [failed](const std::exception& error) { failed(false, error); };
        if (purge) {
            try {
                transactionForm(connection, "BEGIN TRANSACTION;", [&](SQLiteConnection& c) { purgeRows(c); });
            } catch (const std::exception& error) {
                failed(true, error);
            }
        }
        try {
            if (!vouched(connection)) beginSteppedRebuild(connection);
        } catch (const std::exception& error) {
            rebuildEnded();
            failed(false, error);
        }
        try {
            refreshPlannerStatistics(connection);
        } catch (const SQLiteError&) {
            // Statistics only steer the plans; every statement answers the same without them.
        }
    });
}

}  // namespace ostrel
