#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Model/Records.hpp"
#include "Platform/LibraryTrial.hpp"
#include "Platform/LogSink.hpp"

namespace ostrel {

enum class VellBucketSize { fiveMinutes, hour, day };
enum class VellRankingDimension { network, application };

// An aggregation answer: the totals, and the points in the library's order.
struct VellAggregation {
    UsageSummary summary;
    std::vector<TrendPoint> trend;

    bool operator==(const VellAggregation&) const = default;
};

// Samples written once as the library's JSON, for several requests over the same samples (the
// overview asks for an aggregation and two rankings of one range). Each request reuses the text,
// so one object serves one thread.
class VellSamples {
private:
    friend class VellCoreBridge;
    std::string text;  // {"samples":[...], then the fields of the request being made
    std::size_t samplesEnd = 0;
    bool written = false;
};

// The application's side of libostrel_core. The library is found and bound once, at
// construction; from then on each request is written as JSON, handed to the library, and its
// answer read back. Every failure on the way is an empty answer, on which the caller computes
// the same thing itself. Read-only after construction: calls may run on several threads at once.
class VellCoreBridge final {
public:
    using EntryPoint = char* (*)(const char*);
    using FreeFunction = void (*)(char*);
    struct EntryPoints {
        EntryPoint aggregate = nullptr;
        EntryPoint rank = nullptr;
        EntryPoint threshold = nullptr;
        FreeFunction free = nullptr;
    };

    // The process's one bridge over defaultLibraryCandidates(), logging to the system log;
    // built by the first call, kept until the process ends.
    static std::shared_ptr<const VellCoreBridge> shared();

    // In order: <exe dir>/../lib/ostrel/libostrel_core.so, <exe dir>/libostrel_core.so,
    // $OSTREL_VELL_CORE_LIB when set and not empty, <cwd>/../build/lib/libostrel_core.so and
    // <cwd>/build/lib/libostrel_core.so.
    static std::vector<std::string> defaultLibraryCandidates();

    // Loads the first candidate that is safe to load and opens (RTLD_NOW | RTLD_LOCAL), then
    // binds the four functions by name. A candidate is skipped when the file, or a folder on
    // its path, could be changed by an account other than this user and root; and, with a log
    // line, when the file is not a whole shared library for this machine, or when `trial` finds
    // that loading it would crash or hang (by default the program's own helper tries it).
    VellCoreBridge(const std::vector<std::string>& candidates, std::shared_ptr<LogSink> log,
                   std::shared_ptr<LibraryTrial> trial = defaultLibraryTrial());
    // The helper ostrel-core-probe beside the program's other helper tools.
    static std::shared_ptr<LibraryTrial> defaultLibraryTrial();
    // The entry points given directly, with no library behind them.
    VellCoreBridge(EntryPoints entryPoints, std::shared_ptr<LogSink> log);
    ~VellCoreBridge();
    VellCoreBridge(const VellCoreBridge&) = delete;
    VellCoreBridge& operator=(const VellCoreBridge&) = delete;

    // All four functions are bound.
    bool isAvailable() const;

    std::optional<VellAggregation> aggregate(std::span<const UsageSampleRecord> samples, const DateRange& range,
                                             VellBucketSize bucketSize) const;
    std::optional<std::vector<RankedUsage>> rank(std::span<const UsageSampleRecord> samples,
                                                 VellRankingDimension dimension, std::int64_t limit) const;
    std::optional<ThresholdEvaluation> evaluateThreshold(std::int64_t totalBytes, std::int64_t warning,
                                                         std::int64_t danger) const;

    // Aggregation and ranking over samples written once. Nothing is written while the bridge is
    // unavailable, nor when a text of the samples is not UTF-8; their requests then give nothing.
    VellSamples prepare(std::span<const UsageSampleRecord> samples) const;
    std::optional<VellAggregation> aggregate(VellSamples& samples, const DateRange& range,
                                             VellBucketSize bucketSize) const;
    std::optional<std::vector<RankedUsage>> rank(VellSamples& samples, VellRankingDimension dimension,
                                                 std::int64_t limit) const;

private:
    // One exchange: the request text in (null when it could not be written), the answer read as
    // `Response` out; a text the library returns is released exactly once.
    template <class Response>
    std::optional<Response> invokeJSON(EntryPoint function, const char* request) const;

    void* handle_ = nullptr;
    EntryPoints functions_;
    std::shared_ptr<LogSink> log_;
};

}  // namespace ostrel
