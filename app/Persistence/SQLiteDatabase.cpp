#include "Persistence/SQLiteDatabase.hpp"

namespace ostrel {

SQLiteDatabase::SQLiteDatabase(const std::string& path) : queue_(queueLabel) {
    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;  // 0x10006
    const int result = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
    if (result != SQLITE_OK) {
        std::string message = handle != nullptr ? sqlite3_errmsg(handle) : "unknown";
        sqlite3_close(handle);
        throw SQLiteError(SQLiteError::Kind::openFailed, message);
    }
    if (handle == nullptr) {
        throw SQLiteError(SQLiteError::Kind::openFailed, "unable to allocate sqlite pointer");
    }
    db_.reset(handle);
    // SQLite quietly falls back to reading only when the file is write-protected; every
    // later write would then fail, so refuse the file here with SQLite's own message.
    if (sqlite3_db_readonly(handle, "main") == 1) {
        db_.reset();
        throw SQLiteError(SQLiteError::Kind::openFailed, sqlite3_errstr(SQLITE_READONLY));
    }
    connection_.db_ = handle;
    sqlite3_busy_timeout(handle, 5000);
    execute("PRAGMA journal_mode=WAL;");
    execute("PRAGMA foreign_keys=ON;");
}

void SQLiteDatabase::execute(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    queue_.sync([&] { connection_.execute(sql, bindings); });
}

void SQLiteDatabase::query(const std::string& sql, const std::vector<SQLiteValue>& bindings,
                           const SQLiteRowHandler& rowHandler) {
    queue_.sync([&] { connection_.query(sql, bindings, rowHandler); });
}

}  // namespace ostrel
