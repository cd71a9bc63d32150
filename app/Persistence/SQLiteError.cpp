#include "Persistence/SQLiteError.hpp"

#include <utility>

namespace ostrel {

namespace {

std::string describe(SQLiteError::Kind kind, const std::string& message) {
    using Kind = SQLiteError::Kind;
    switch (kind) {
        case Kind::openFailed:
            return "SQLite open failed: " + message;
        case Kind::prepareFailed:
            return "SQLite prepare failed: " + message;
        case Kind::stepFailed:
            return "SQLite step failed: " + message;
        case Kind::bindFailed:
            return "SQLite bind failed: " + message;
    }
    return message;
}

}  // namespace

SQLiteError::SQLiteError(Kind kind, std::string message)
    : std::runtime_error(describe(kind, message)), kind_(kind), message_(std::move(message)) {}

}  // namespace ostrel
