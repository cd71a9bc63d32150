#include "Platform/LogSink.hpp"

#include <syslog.h>

namespace ostrel {

SyslogSink::SyslogSink() {
    openlog("ostrel", LOG_PID, LOG_USER);
}

void SyslogSink::log(std::string_view line) {
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
}

void CapturingLogSink::log(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> CapturingLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

}  // namespace ostrel
