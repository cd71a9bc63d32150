#include "Persistence/SQLiteError.hpp"

#include <utility>

namespace ostrel {
namespace {

// In the order of SQLiteError::Kind.
constexpr const char* prefixes[] = {
    "SQLite open failed: ", "SQLite prepare failed: ", "SQLite step failed: ", "SQLite bind failed: "};

}  // namespace

SQLiteError::SQLiteError(Kind kind, std::string message, int code)
    : std::runtime_error(prefixes[static_cast<int>(kind)] + message),
      kind_(kind),
      message_(std::move(message)),
      code_(code) {}

}  // namespace ostrel
