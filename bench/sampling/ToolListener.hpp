#pragma once

namespace ostrel::bench {

// The per-process tool's listener for destroyed sockets ("nettop-closed") in the calling thread's
// network namespace. It is the tool's, but no child of the benchmark, so its cost is read from
// /proc; nothing when it does not run.
struct ListenerUsage {
    double cpuSeconds = 0;
    long residentKb = 0;
};
ListenerUsage toolListenerUsage();

}  // namespace ostrel::bench
