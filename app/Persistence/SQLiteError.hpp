#pragma once

#include <stdexcept>
#include <string>

namespace ostrel {

// A failure of the database connection; what() is the description shown and logged,
// with SQLite's own message after the case's prefix.
class SQLiteError final : public std::runtime_error {
public:
    enum class Kind { openFailed, prepareFailed, stepFailed, bindFailed };

    SQLiteError(Kind kind, std::string message, int code = 0);

    Kind kind() const { return kind_; }
    // SQLite's message (or one of the fixed texts) without the prefix.
    const std::string& message() const { return message_; }
    // SQLite's result code, extended where SQLite gave one; 0 for the fixed texts.
    int code() const { return code_; }

private:
    Kind kind_;
    std::string message_;
    int code_;
};

}  // namespace ostrel
