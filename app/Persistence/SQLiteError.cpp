#include "Persistence/SQLiteError.hpp"

#include <utility>

namespace ostrel {

SQLiteError::SQLiteError(Kind kind, std::string message)
    : std::runtime_error(describe(kind, message)), kind_(kind), message_(std::move(message)) {}

std::string SQLiteError::describe(Kind kind, const std::string& message) {
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

}  // namespace ostrel
