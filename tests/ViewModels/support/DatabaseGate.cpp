#include "ViewModels/support/DatabaseGate.hpp"

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Persistence/SQLiteDatabase.hpp"

namespace ostrel::testing {
namespace {

// A byte count the service never records: only the gate's own insert fires the trigger.
constexpr std::int64_t kGateBytes = -424242;

// SQLite calls the function without a way to reach a gate object, so the one state is here.
struct GateState {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false, entered = false, expired = false;
};

GateState& gateState() {
    static GateState state;
    return state;
}

void waitAtGate(sqlite3_context* context, int, sqlite3_value**) {
    GateState& state = gateState();
    std::unique_lock lock(state.mutex);
    state.entered = true;
    state.changed.notify_all();
    if (!state.changed.wait_for(lock, std::chrono::seconds(10), [&] { return !state.closed; })) {
        state.expired = true, state.closed = false;
    }
    sqlite3_result_null(context);
}

int addGateFunction(sqlite3* db, char**, const sqlite3_api_routines*) {
    return sqlite3_create_function_v2(db, "ostrel_test_gate", 0, SQLITE_UTF8, nullptr, &waitAtGate, nullptr, nullptr,
                                      nullptr);
}

}  // namespace

void DatabaseGate::install() {
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(&addGateFunction));
}

DatabaseGate::DatabaseGate(std::string databasePath) : databasePath_(std::move(databasePath)) {}

DatabaseGate::~DatabaseGate() {
    release();
}

bool DatabaseGate::hold(std::shared_ptr<OstrelDataService> service) {
    // The row is dropped after the wait: the store is left as it was.
    SQLiteDatabase(databasePath_)
        .execute(
            "CREATE TRIGGER IF NOT EXISTS ostrel_test_gate BEFORE INSERT ON threshold_events WHEN "
            "NEW.total_bytes = " +
            std::to_string(kGateBytes) + " BEGIN SELECT ostrel_test_gate(); SELECT RAISE(IGNORE); END;");
    GateState& state = gateState();
    {
        std::lock_guard lock(state.mutex);
        state.closed = true, state.entered = false, state.expired = false;
    }
    holder_ = std::thread([service = std::move(service)] {
        service->repository().recordThresholdEvent(AlertLevel::warning, kGateBytes, TimeframePreset::daily, false);
    });
    std::unique_lock lock(state.mutex);
    return state.changed.wait_for(lock, std::chrono::seconds(30), [&] { return state.entered; });
}

void DatabaseGate::release() {
    GateState& state = gateState();
    {
        std::lock_guard lock(state.mutex);
        state.closed = false;
    }
    state.changed.notify_all();
    if (holder_.joinable()) holder_.join();
}

bool DatabaseGate::expired() const {
    GateState& state = gateState();
    std::lock_guard lock(state.mutex);
    return state.expired;
}

}  // namespace ostrel::testing
