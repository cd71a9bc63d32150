#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One line per event, no levels.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void log(std::string_view line) = 0;
};

// The system log, ident "ostrel".
class SyslogSink final : public LogSink {
public:
    SyslogSink();
    void log(std::string_view line) override;
};

// Keeps the lines in memory so a test can read what was logged.
class CapturingLogSink final : public LogSink {
public:
    void log(std::string_view line) override;
    std::vector<std::string> lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace ostrel
