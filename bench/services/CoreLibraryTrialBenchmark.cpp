// What trying the core library in a process of its own adds to start-up: the bridge over the
// built library with and without the trial, and the trial alone (the helper started, the library
// loaded and called in it, the helper's end awaited). Wall-clock time: the helper's own work is
// the cost.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Services/VellCoreBridge.hpp"

namespace ostrel {
namespace {

const std::string& builtLibrary() {
    static const std::string path =
        std::filesystem::canonical(VellCoreBridge::defaultLibraryCandidates().front()).string();
    return path;
}

void BM_BridgeWithoutTrial(benchmark::State& state) {
    const auto log = std::make_shared<CapturingLogSink>();
    for (auto _ : state) {
        const VellCoreBridge bridge({builtLibrary()}, log, nullptr);
        if (!bridge.isAvailable()) state.SkipWithError("the built core library did not load");
    }
}

void BM_BridgeWithTrial(benchmark::State& state) {
    const auto log = std::make_shared<CapturingLogSink>();
    for (auto _ : state) {
        const VellCoreBridge bridge({builtLibrary()}, log);
        if (!bridge.isAvailable()) state.SkipWithError("the built core library did not load");
    }
}

void BM_TrialAlone(benchmark::State& state) {
    const auto trial = VellCoreBridge::defaultLibraryTrial();
    for (auto _ : state) {
        if (trial->defect(builtLibrary())) state.SkipWithError("the trial refused the built core library");
    }
}

BENCHMARK(BM_BridgeWithoutTrial)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_BridgeWithTrial)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_TrialAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace
}  // namespace ostrel

BENCHMARK_MAIN();
