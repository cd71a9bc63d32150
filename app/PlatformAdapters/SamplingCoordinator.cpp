#include "PlatformAdapters/SamplingCoordinator.hpp"

#include <exception>

#include "Model/Uuid.hpp"
#include "PlatformAdapters/Reconciliation.hpp"

namespace ostrel {
namespace {

using ElapsedClock = SamplingCoordinator::ElapsedClock;

// `now` minus `since` is below `seconds`; a negative gap counts as below. The distant past is
// always long enough ago.
bool lessThanAfter(ElapsedClock::time_point now, const std::optional<ElapsedClock::time_point>& since, double seconds) {
    if (!since) {
        return false;
    }
    const auto gap = std::chrono::duration<double>(now - *since).count();
    return gap < seconds;
}

std::chrono::steady_clock::duration secondsToDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

std::shared_ptr<SamplingCoordinator> SamplingCoordinator::create(
    std::unique_ptr<TrafficMonitorAdapter> monitor, std::unique_ptr<NetworkIdentityResolver> networkResolver,
    std::unique_ptr<TrafficAttributionLayer> attributionLayer, std::shared_ptr<OstrelRepository> repository,
    std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<LogSink> log, std::function<Date()> clock,
    std::function<ElapsedClock::time_point()> elapsedClock) {
    return std::make_shared<SamplingCoordinator>(
        Token{}, std::move(monitor), std::move(networkResolver), std::move(attributionLayer), std::move(repository),
        std::move(mainQueue), std::move(log), std::move(clock), std::move(elapsedClock));
}

SamplingCoordinator::SamplingCoordinator(Token, std::unique_ptr<TrafficMonitorAdapter> monitorIn,
                                         std::unique_ptr<NetworkIdentityResolver> networkResolverIn,
                                         std::unique_ptr<TrafficAttributionLayer> attributionLayerIn,
                                         std::shared_ptr<OstrelRepository> repositoryIn,
                                         std::shared_ptr<MainQueue> mainQueueIn, std::shared_ptr<LogSink> logIn,
                                         std::function<Date()> clockIn,
                                         std::function<ElapsedClock::time_point()> elapsedClockIn)
    : monitor(std::move(monitorIn)),
      networkResolver(std::move(networkResolverIn)),
      attributionLayer(std::move(attributionLayerIn)),
      repository(std::move(repositoryIn)),
      mainQueue(std::move(mainQueueIn)),
      log(std::move(logIn)),
      clock(std::move(clockIn)),
      elapsedClock(std::move(elapsedClockIn)) {}

SamplingCoordinator::~SamplingCoordinator() {
    if (timer) {
        timer->cancel();
    }
}

// start() and stop() may come from any thread; running them on the queue serialises them with
// the ticks and with resetBaseline(), so the baseline and the timer have one writer.
template <class F>
void SamplingCoordinator::onQueue(F&& work) {
    if (queue.isCurrent()) {
        work();
    } else {
        queue.sync(std::forward<F>(work));
    }
}

void SamplingCoordinator::start() {
    onQueue([this] {
        if (timer) {
            return;
        }
        monitor->setPreviousCounters(monitor->readInterfaceCounters());
        const auto interval = secondsToDuration(samplingIntervalSeconds);
        timer = std::make_unique<RepeatingTimer>(queue, interval, interval, timerLeeway,
                                                 [weak = weak_from_this()] {
                                                     if (auto self = weak.lock()) {
                                                         self->collectSample();
                                                     }
                                                 });
        timer->resume();
    });
}

void SamplingCoordinator::stop() {
    onQueue([this] {
        flushBufferedSamplesIfNeeded(true, {clock(), elapsedClock()});
        if (timer) {
            timer->cancel();
            timer.reset();
        }
    });
}

void SamplingCoordinator::resetBaseline() {
    queue.async([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->monitor->setPreviousCounters(self->monitor->readInterfaceCounters());
        }
    });
}

void SamplingCoordinator::setOnNewSampleBatch(std::function<void()> callback) {
    std::lock_guard lock(callbackMutex);
    onNewSampleBatch = std::move(callback);
}

void SamplingCoordinator::setOnActiveNetworkChange(std::function<void()> callback) {
    std::lock_guard lock(callbackMutex);
    onActiveNetworkChange = std::move(callback);
}

bool SamplingCoordinator::isRunning() {
    bool running = false;
    onQueue([this, &running] { running = timer != nullptr; });
    return running;
}

void SamplingCoordinator::collectSampleNow() {
    onQueue([this] { collectSample(); });
}

void SamplingCoordinator::collectSample() {
    const TrafficSnapshot snapshot = monitor->sample();
    const Instant now{snapshot.timestamp, elapsedClock()};
    const NetworkIdentity network = networkResolver->resolveActiveNetwork(snapshot.primaryInterface);
    updateActiveNetworkIfNeeded(network, now);

    if (snapshot.totalRxBytes <= 0 && snapshot.totalTxBytes <= 0) {
        flushBufferedSamplesIfNeeded(false, now);
        return;
    }

    const auto attributions = attributionLayer->attributedUsage(snapshot.totalRxBytes, snapshot.totalTxBytes);
    const auto normalized = reconciliation::normalize(attributions, snapshot.totalRxBytes, snapshot.totalTxBytes);

    sampleBuffer.reserve(sampleBuffer.size() + normalized.size());
    for (const auto& attribution : normalized) {
        appBuffer.insert_or_assign(attribution.appID, attribution);
    }
    for (const auto& attribution : normalized) {
        UsageSampleRecord record;
        record.id = makeUuidString();
        record.timestamp = snapshot.timestamp;
        record.networkID = network.id;
        record.networkName = network.name;
        record.networkType = network.type;
        record.appID = attribution.appID;
        record.appName = attribution.name;
        record.rxBytes = attribution.rxBytes;
        record.txBytes = attribution.txBytes;
        record.source = attribution.source;
        record.attributionConfidence = attribution.confidence;
        sampleBuffer.push_back(std::move(record));
    }
    flushBufferedSamplesIfNeeded(false, now);
}

void SamplingCoordinator::flushBufferedSamplesIfNeeded(bool force, Instant now) {
    if (sampleBuffer.empty()) {
        return;
    }
    if (!force && static_cast<std::int64_t>(sampleBuffer.size()) < maxBufferedSamples &&
        lessThanAfter(now.elapsed, lastFlushAt, flushIntervalSeconds)) {
        return;
    }
    std::vector<AppUsageAttribution> applications;
    applications.reserve(appBuffer.size());
    for (auto& [appID, attribution] : appBuffer) {
        applications.push_back(std::move(attribution));
    }
    appBuffer.clear();
    writeBatch.clear();
    std::swap(writeBatch, sampleBuffer);

    try {
        for (const auto& application : applications) {
            repository->upsertApplication(application, now.at);
        }
        repository->insertSamples(writeBatch);
    } catch (const std::exception& error) {
        log->log(std::string("Failed flushing buffered samples: ") + error.what());
        writeBatch.clear();
        return;
    }
    writeBatch.clear();
    lastFlushAt = now.elapsed;
    publishUIIfNeeded(now.elapsed);
}

void SamplingCoordinator::updateActiveNetworkIfNeeded(const NetworkIdentity& network, Instant now) {
    const bool changed = !activeNetworkID || *activeNetworkID != network.id;
    if (!changed && lessThanAfter(now.elapsed, lastNetworkWriteAt, networkWriteIntervalSeconds)) {
        return;
    }
    // Compared with what the store held just before, not with this sampler's last write: a start
    // on the network of the last run changes nothing, and a row deleted meanwhile is back.
    std::optional<NetworkIdentity> before;
    try {
        before = repository->fetchActiveNetworkIdentity();
        repository->setActiveNetwork(network, now.at);
    } catch (const std::exception& error) {
        log->log(std::string("Failed updating active network: ") + error.what());
        return;
    }
    activeNetworkID = network.id;
    lastNetworkWriteAt = now.elapsed;
    bool storedChanged = true;  // unknown after a failed read: a needless reload is harmless
    try {
        storedChanged = repository->fetchActiveNetworkIdentity() != before;
    } catch (const std::exception&) {
    }
    if (storedChanged) {
        callOnMainQueue(&SamplingCoordinator::onActiveNetworkChange);
    }
}

void SamplingCoordinator::publishUIIfNeeded(ElapsedClock::time_point now) {
    if (lessThanAfter(now, lastUIPublishAt, uiPublishIntervalSeconds)) {
        return;
    }
    lastUIPublishAt = now;
    callOnMainQueue(&SamplingCoordinator::onNewSampleBatch);
}

void SamplingCoordinator::callOnMainQueue(std::function<void()> SamplingCoordinator::*callback) {
    mainQueue->async([weak = weak_from_this(), callback] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        std::function<void()> call;
        {
            std::lock_guard lock(self->callbackMutex);
            call = (*self).*callback;
        }
        if (call) {
            call();
        }
    });
}

}  // namespace ostrel
