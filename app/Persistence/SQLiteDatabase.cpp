#include "Persistence/SQLiteDatabase.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace ostrel {
namespace {

constexpr std::chrono::milliseconds kBusyTimeout{5000};

}  // namespace

SQLiteDatabase::SQLiteDatabase(const std::string& path, const Inspection& inspect) : queue_(queueLabel) {
    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;  // 0x10006
    const int result = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
    if (result != SQLITE_OK) {
        std::string message = handle != nullptr ? sqlite3_errmsg(handle) : "unknown";
        sqlite3_close(handle);
        throw SQLiteError(SQLiteError::Kind::openFailed, message, result);
    }
    if (handle == nullptr) {
        throw SQLiteError(SQLiteError::Kind::openFailed, "unable to allocate sqlite pointer");
    }
    db_.reset(handle);
    // SQLite quietly falls back to reading only when the file is write-protected; every
    // later write would then fail, so refuse the file here with SQLite's own message.
    if (sqlite3_db_readonly(handle, "main") == 1) {
        db_.reset();
        throw SQLiteError(SQLiteError::Kind::openFailed, sqlite3_errstr(SQLITE_READONLY), SQLITE_READONLY);
    }
    connection_.db_ = handle;
    sqlite3_busy_timeout(handle, static_cast<int>(kBusyTimeout.count()));
    if (inspect) {
        try {
            queue_.sync([&] { inspect(connection_); });
        } catch (...) {
            // Closing copies what the write-ahead log holds into the file; a refused file keeps it
            // where it is instead.
            std::error_code ignored;
            if (std::filesystem::file_size(path + "-wal", ignored) > 0 && !ignored) {
                sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            }
            throw;
        }
    }
    enableWriteAheadLog();
    execute("PRAGMA foreign_keys=ON;");
}

SQLiteDatabase::~SQLiteDatabase() {
    closing_ = true;
    if (!queue_.isCurrent()) queue_.sync([] {});
}

// Another connection switching the same new file at the same moment makes the switch fail at once
// with SQLITE_BUSY: the busy handler is not consulted for it. Wait as the busy timeout would.
void SQLiteDatabase::enableWriteAheadLog() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + kBusyTimeout;
    for (std::chrono::milliseconds pause{1};; pause = std::min(pause * 2, std::chrono::milliseconds{50})) {
        try {
            execute("PRAGMA journal_mode=WAL;");
            return;
        } catch (const SQLiteError&) {
            if ((sqlite3_errcode(db_.get()) & 0xff) != SQLITE_BUSY || Clock::now() + pause > deadline) throw;
        }
        std::this_thread::sleep_for(pause);
    }
}

void SQLiteDatabase::execute(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    queue_.sync([&] { connection_.execute(sql, bindings); });
}

void SQLiteDatabase::query(const std::string& sql, const std::vector<SQLiteValue>& bindings,
                           const SQLiteRowHandler& rowHandler) {
    queue_.sync([&] { connection_.query(sql, bindings, rowHandler); });
}

}  // namespace ostrel
