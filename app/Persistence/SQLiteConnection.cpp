#include "Persistence/SQLiteConnection.hpp"

#include <type_traits>

namespace ostrel {

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
    Statement statement = prepare(sql);
    bind(bindings, statement.get());
    int result = sqlite3_step(statement.get());
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        throw errorOf(SQLiteError::Kind::stepFailed);
    }
}

void SQLiteConnection::executeEach(const std::string& sql, const std::vector<std::vector<SQLiteValue>>& bindings) {
    Statement statement = prepare(sql);
    for (const auto& values : bindings) {
        sqlite3_reset(statement.get());
        bind(values, statement.get());
        const int result = sqlite3_step(statement.get());
        if (result != SQLITE_ROW && result != SQLITE_DONE) {
            throw errorOf(SQLiteError::Kind::stepFailed);
        }
    }
}

void SQLiteConnection::query(const std::string& sql, const std::vector<SQLiteValue>& bindings,
                             const SQLiteRowHandler& rowHandler) {
    Statement statement = prepare(sql);
    bind(bindings, statement.get());
    const SQLiteRow row(statement.get());
    int result = sqlite3_step(statement.get());
    while (result == SQLITE_ROW) {
        rowHandler(row);
        result = sqlite3_step(statement.get());
    }
    if (result != SQLITE_DONE) {
        throw errorOf(SQLiteError::Kind::stepFailed);
    }
}

SQLiteConnection::Statement SQLiteConnection::prepare(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw errorOf(SQLiteError::Kind::prepareFailed);
    }
    if (raw == nullptr) {
        throw SQLiteError(SQLiteError::Kind::prepareFailed, "statement pointer is nil");
    }
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
        if (result != SQLITE_OK) {
            throw errorOf(SQLiteError::Kind::bindFailed);
        }
    }
}

SQLiteError SQLiteConnection::errorOf(SQLiteError::Kind kind) const {
    return SQLiteError(kind, sqlite3_errmsg(db_));
}

}  // namespace ostrel
