#pragma once

#include <string>

namespace ostrel::bench {

// A heavy month at `path`: 30 days of 216,000 samples each (5 applications on 2 networks, every
// 2 seconds) ending with today, roll-ups rebuilt and the log checkpointed. Takes a few minutes.
void buildHeavyMonth(const std::string& path);

}  // namespace ostrel::bench
