#include "Persistence/SQLiteConnection.hpp"

#include <type_traits>

namespace ostrel {
namespace {

// Every call on a connection in serialized mode takes its mutex, a dozen times per row read. All
// of a connection's statements run on one queue, so holding the (recursive) mutex across a whole
// statement costs no one a wait and turns those into cheap re-entries.
class HeldMutex {
public:
    explicit HeldMutex(sqlite3* db) : mutex_(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(mutex_); }
    ~HeldMutex() { sqlite3_mutex_leave(mutex_); }
    HeldMutex(const HeldMutex&) = delete;
    HeldMutex& operator=(const HeldMutex&) = delete;

private:
    sqlite3_mutex* mutex_;
};

}  // namespace

// A statement prepared for `sql`, taken from those kept or prepared now, and kept again, reset
// and without bindings, once done.
class SQLiteConnection::Lease {
public:
    Lease(SQLiteConnection& connection, const std::string& sql) : connection_(connection), sql_(sql) {
        if (const auto found = connection.prepared_.find(sql); found != connection.prepared_.end()) {
            statement_ = std::move(found->second);
            connection.prepared_.erase(found);
            kept_ = true;
        } else {
            statement_ = connection.prepare(sql);
        }
    }

    // A kept statement whose step failed may have failed to prepare itself again for a changed
    // schema: prepared afresh, the failure is the prepare's, as for a new statement. True when
    // there is a fresh statement to step again (a failed step changed nothing).
    bool preparedAfresh(int result) {
        if (!kept_ || (result & 0xff) != SQLITE_ERROR) return false;
        kept_ = false;
        statement_ = connection_.prepare(sql_);
        return true;
    }
    ~Lease() {
        sqlite3_reset(statement_.get());
        sqlite3_clear_bindings(statement_.get());
        auto& prepared = connection_.prepared_;
        if (prepared.size() >= kKept) prepared.clear();
        prepared.try_emplace(sql_, std::move(statement_));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    sqlite3_stmt* get() const { return statement_.get(); }

private:
    // Only the few statements run for every sample are kept.
    static constexpr std::size_t kKept = 32;

    SQLiteConnection& connection_;
    const std::string& sql_;
    Statement statement_;
    bool kept_ = false;
};

std::string SQLiteRow::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    if (bytes == nullptr) return {};
    // The length is taken after the text conversion so that it counts the UTF-8 bytes.
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::optional<std::string> SQLiteRow::optionalText(int column) const {
    if (isNull(column)) return std::nullopt;
    return text(column);
}

void SQLiteConnection::execute(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    const HeldMutex held(db_);
    Statement statement = prepare(sql);
    bind(bindings, statement.get());
    checkStep(sqlite3_step(statement.get()));
}

void SQLiteConnection::executeKept(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    const HeldMutex held(db_);
    Lease statement(*this, sql);
    bind(bindings, statement.get());
    int result = sqlite3_step(statement.get());
    if (result != SQLITE_ROW && result != SQLITE_DONE && statement.preparedAfresh(result)) {
        bind(bindings, statement.get());
        result = sqlite3_step(statement.get());
    }
    checkStep(result);
}

void SQLiteConnection::executeEach(const std::string& sql, const std::vector<std::vector<SQLiteValue>>& bindings) {
    const HeldMutex held(db_);
    Statement statement = prepare(sql);
    for (const auto& values : bindings) {
        sqlite3_reset(statement.get());
        bind(values, statement.get());
        checkStep(sqlite3_step(statement.get()));
    }
}

void SQLiteConnection::query(const std::string& sql, const std::vector<SQLiteValue>& bindings,
                             const SQLiteRowHandler& rowHandler) {
    const HeldMutex held(db_);
    Statement statement = prepare(sql);
    bind(bindings, statement.get());
    int result = sqlite3_step(statement.get());
    const SQLiteRow row(statement.get());
    while (result == SQLITE_ROW) {
        rowHandler(row);
        result = sqlite3_step(statement.get());
    }
    if (result != SQLITE_DONE) throw errorOf(SQLiteError::Kind::stepFailed);
}

std::int64_t SQLiteConnection::queryInt64(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::int64_t value = 0;
    query(sql, bindings, [&](const SQLiteRow& row) { value = row.int64(0); });
    return value;
}

SQLiteConnection::Statement SQLiteConnection::prepare(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw errorOf(SQLiteError::Kind::prepareFailed);
    }
    if (raw == nullptr) throw SQLiteError(SQLiteError::Kind::prepareFailed, "statement pointer is nil");
    return Statement(raw);
}

void SQLiteConnection::bind(const std::vector<SQLiteValue>& bindings, sqlite3_stmt* statement) {
    for (std::size_t index = 0; index < bindings.size(); ++index) {
        const int position = static_cast<int>(index + 1);
        const int result = std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::int64_t>) {
                    return sqlite3_bind_int64(statement, position, value);
                } else if constexpr (std::is_same_v<T, double>) {
                    return sqlite3_bind_double(statement, position, value);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    return sqlite3_bind_text(statement, position, value.c_str(), -1, SQLITE_TRANSIENT);
                } else {
                    return sqlite3_bind_null(statement, position);
                }
            },
            bindings[index]);
        if (result != SQLITE_OK) throw errorOf(SQLiteError::Kind::bindFailed);
    }
}

void SQLiteConnection::checkStep(int result) const {
    if (result != SQLITE_ROW && result != SQLITE_DONE) throw errorOf(SQLiteError::Kind::stepFailed);
}

SQLiteError SQLiteConnection::errorOf(SQLiteError::Kind kind) const {
    return SQLiteError(kind, sqlite3_errmsg(db_), sqlite3_extended_errcode(db_));
}

}  // namespace ostrel
