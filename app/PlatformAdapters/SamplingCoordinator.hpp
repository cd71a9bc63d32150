#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Model/Records.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/MainQueue.hpp"
#include "Platform/RepeatingTimer.hpp"
#include "Platform/SerialQueue.hpp"
#include "PlatformAdapters/NetworkIdentityResolver.hpp"
#include "PlatformAdapters/TrafficAttributionLayer.hpp"
#include "PlatformAdapters/TrafficMonitorAdapter.hpp"

namespace ostrel {

// Turns the machine's traffic into stored usage records: once a second, on its own queue, it
// takes the interface deltas, resolves the network, splits the traffic among applications so
// that the parts add up to the interface totals, and buffers one record per application. The
// buffer is written at most every 3 seconds (at once at 240 records), and after a successful
// write the batch callback runs on the main queue at most every 3 seconds. A tick that changes the
// active network the store holds calls the network callback on the main queue at once, also without
// traffic; the periodic rewrite of the same network calls nothing.
//
// Created through create(): the timer, the queued work and the main-queue callback hold it
// weakly.
//
// Elapsed time (the write, network and callback intervals) is measured on `elapsedClock`, a
// monotonic clock, so that a wall clock set back or forward neither stalls nor hurries them;
// what is stored is stamped with `clock`, the wall clock.
class SamplingCoordinator final : public std::enable_shared_from_this<SamplingCoordinator> {
public:
    using ElapsedClock = std::chrono::steady_clock;
    static constexpr const char* queueLabel = "ostrel.sampling.queue";
    static constexpr double samplingIntervalSeconds = 1.0;
    static constexpr double uiPublishIntervalSeconds = 3.0;
    static constexpr double flushIntervalSeconds = 3.0;
    static constexpr std::int64_t maxBufferedSamples = 240;
    static constexpr double networkWriteIntervalSeconds = 10.0;
    static constexpr std::chrono::milliseconds timerLeeway{250};

    static std::shared_ptr<SamplingCoordinator> create(
        std::unique_ptr<TrafficMonitorAdapter> monitor, std::unique_ptr<NetworkIdentityResolver> networkResolver,
        std::unique_ptr<TrafficAttributionLayer> attributionLayer, std::shared_ptr<OstrelRepository> repository,
        std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<LogSink> log, std::function<Date()> clock = currentDate,
        std::function<ElapsedClock::time_point()> elapsedClock = ElapsedClock::now);

    SamplingCoordinator(const SamplingCoordinator&) = delete;
    SamplingCoordinator& operator=(const SamplingCoordinator&) = delete;
    ~SamplingCoordinator();

    // Starts ticking (first tick 1 s from now) on a fresh baseline; does nothing while running.
    void start();
    // Writes whatever is buffered, then stops the timer; waits for a running tick.
    void stop();
    // The next tick counts only traffic after this point.
    void resetBaseline();
    // Each set once, before start(); each runs on the main queue.
    void setOnNewSampleBatch(std::function<void()> callback);
    void setOnActiveNetworkChange(std::function<void()> callback);

    bool isRunning();
    // One tick now, on the queue, waiting for it: lets tests and benchmarks drive the sampler
    // without the timer.
    void collectSampleNow();

private:
    struct Token {};

public:
    SamplingCoordinator(Token, std::unique_ptr<TrafficMonitorAdapter> monitor,
                        std::unique_ptr<NetworkIdentityResolver> networkResolver,
                        std::unique_ptr<TrafficAttributionLayer> attributionLayer,
                        std::shared_ptr<OstrelRepository> repository, std::shared_ptr<MainQueue> mainQueue,
                        std::shared_ptr<LogSink> log, std::function<Date()> clock,
                        std::function<ElapsedClock::time_point()> elapsedClock);

private:
    template <class F>
    void onQueue(F&& work);

    // A moment of the sampler: the wall-clock time it is stamped with, and where it lies on the
    // monotonic clock.
    struct Instant {
        Date at;
        ElapsedClock::time_point elapsed;
    };

    void collectSample();
    void flushBufferedSamplesIfNeeded(bool force, Instant now);
    void updateActiveNetworkIfNeeded(const NetworkIdentity& network, Instant now);
    void publishUIIfNeeded(ElapsedClock::time_point now);
    void callOnMainQueue(std::function<void()> SamplingCoordinator::*callback);

    std::unique_ptr<TrafficMonitorAdapter> monitor;
    std::unique_ptr<NetworkIdentityResolver> networkResolver;
    std::unique_ptr<TrafficAttributionLayer> attributionLayer;
    std::shared_ptr<OstrelRepository> repository;
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<LogSink> log;
    std::function<Date()> clock;
    std::function<ElapsedClock::time_point()> elapsedClock;

    // Everything below is touched on the queue only. None: the distant past.
    std::optional<ElapsedClock::time_point> lastUIPublishAt;
    std::optional<ElapsedClock::time_point> lastFlushAt;
    std::optional<ElapsedClock::time_point> lastNetworkWriteAt;
    std::optional<std::string> activeNetworkID;
    std::vector<UsageSampleRecord> sampleBuffer;
    std::vector<UsageSampleRecord> writeBatch;  // swapped with the buffer so both keep their storage
    std::map<std::string, AppUsageAttribution> appBuffer;

    std::mutex callbackMutex;
    std::function<void()> onNewSampleBatch;
    std::function<void()> onActiveNetworkChange;

    // Declared last: destroyed first, so nothing queued outlives what it touches.
    SerialQueue queue{queueLabel};
    std::unique_ptr<RepeatingTimer> timer;
};

}  // namespace ostrel
