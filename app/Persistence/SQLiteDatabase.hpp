#pragma once

#include <sqlite3.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Persistence/SQLiteConnection.hpp"
#include "Platform/SerialQueue.hpp"

namespace ostrel {

// The program's one connection to its database file. Every statement runs on the serial
// queue "ostrel.sqlite.queue", so callers on any thread are served one statement at a time.
class SQLiteDatabase final {
public:
    static constexpr const char* queueLabel = "ostrel.sqlite.queue";

    // Looks at the file before anything is written to it; throws to refuse it.
    using Inspection = std::function<void(SQLiteConnection&)>;

    // Opens or creates the file, lets `inspect` look at it, then turns on the write-ahead log
    // (which rewrites the header of a file in another journal mode) and foreign keys. A refused
    // file is left byte for byte as it was.
    explicit SQLiteDatabase(const std::string& path, const Inspection& inspect = {});
    // Waits for a unit that is running, and drops those still waiting.
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    void execute(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    void query(const std::string& sql, const std::vector<SQLiteValue>& bindings, const SQLiteRowHandler& rowHandler);

    // Runs `unit` on the queue with direct access to the connection: no statement of another
    // caller runs in between, so a BEGIN ... COMMIT inside it is never interleaved.
    template <class F>
    std::invoke_result_t<F&, SQLiteConnection&> runExclusive(F&& unit) {
        return queue_.sync([&]() -> decltype(auto) { return unit(connection_); });
    }
    // The same without waiting: `unit` runs after every statement already asked for and before
    // any asked for later. Units still waiting when the database closes are dropped.
    void runExclusiveLater(std::function<void(SQLiteConnection&)> unit) {
        queue_.async([this, unit = std::move(unit)] {
            if (!closing_) unit(connection_);
        });
    }

private:
    void enableWriteAheadLog();

    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };

    // Outlives the queue, whose last tasks read it.
    std::atomic<bool> closing_{false};
    // The queue exists before the file is opened and outlives the handle.
    SerialQueue queue_;
    std::unique_ptr<sqlite3, Closer> db_;
    SQLiteConnection connection_{nullptr};
};

}  // namespace ostrel
