#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "Persistence/SQLiteError.hpp"

namespace ostrel {

// The value bound to one `?` parameter: int64, double, text or NULL, in that order.
using SQLiteValue = std::variant<std::int64_t, double, std::string, std::nullptr_t>;

// Text when present, NULL otherwise.
inline SQLiteValue sqliteText(const std::optional<std::string>& text) {
    return text ? SQLiteValue{*text} : SQLiteValue{nullptr};
}

// The current row of a running query. Only valid inside the row handler.
class SQLiteRow final {
public:
    explicit SQLiteRow(sqlite3_stmt* statement) : statement_(statement) {}

    sqlite3_stmt* statement() const { return statement_; }
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::int64_t int64(int column) const { return sqlite3_column_int64(statement_, column); }
    double real(int column) const { return sqlite3_column_double(statement_, column); }
    // NULL reads as empty text.
    std::string text(int column) const;
    // NULL reads as nothing.
    std::optional<std::string> optionalText(int column) const;

private:
    sqlite3_stmt* statement_;
};

// Called once per result row, synchronously, on the database queue. It must not issue
// statements through SQLiteDatabase (that would wait on its own queue).
using SQLiteRowHandler = std::function<void(const SQLiteRow&)>;

// Runs statements straight on the connection, on the calling thread. Only SQLiteDatabase
// hands one out, on its queue, so everything issued through it belongs to one unit.
class SQLiteConnection final {
public:
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;

    // One step: a statement that yields rows succeeds on its first row.
    void execute(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    void query(const std::string& sql, const std::vector<SQLiteValue>& bindings, const SQLiteRowHandler& rowHandler);
    // The first column of the last row as an integer; 0 when there is no row.
    std::int64_t queryInt64(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    // `execute` with the statement prepared once and kept for the next run of the same text: for
    // the few statements run for every sample, where preparing costs more than running.
    void executeKept(const std::string& sql, const std::vector<SQLiteValue>& bindings);
    // `execute` once for each set of bindings, with the statement prepared once.
    void executeEach(const std::string& sql, const std::vector<std::vector<SQLiteValue>>& bindings);
    // The handle, for work that the calls above cannot express (binding a value read from a row).
    sqlite3* handle() const { return db_; }

private:
    friend class SQLiteDatabase;
    explicit SQLiteConnection(sqlite3* db) : db_(db) {}

    struct StatementFinalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;
    class Lease;

    Statement prepare(const std::string& sql);
    void bind(const std::vector<SQLiteValue>& bindings, sqlite3_stmt* statement);
    // Throws unless `result` is a step that succeeded.
    void checkStep(int result) const;
    SQLiteError errorOf(SQLiteError::Kind kind) const;

    sqlite3* db_;
    // Statements kept by executeKept, finalized before the connection closes.
    std::unordered_map<std::string, Statement> prepared_;
};

}  // namespace ostrel
