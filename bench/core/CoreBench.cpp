// A heavy day: 216,000 samples (2.5 a second over 12 applications on 3 networks).
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <random>
#include <string>

#include "ostrel_core.h"

namespace {

constexpr int kSamples = 216'000;

std::string twoDigits(int value) {
    const char digits[] = {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10), '\0'};
    return digits;
}

std::string heavyDaySamples() {
    static const char* const apps[][2] = {
        {"org.mozilla.firefox", "Firefox"}, {"org.gnome.Nautilus", "Files"},   {"com.spotify.Client", "Spotify"},
        {"org.chromium.Chromium", "Chromium"}, {"com.slack.Slack", "Slack"}, {"org.videolan.VLC", "VLC"},
        {"org.gnome.Software", "Software"}, {"com.valvesoftware.Steam", "Steam"}, {"org.telegram.desktop", "Telegram"},
        {"io.github.flatpak.updater", "Updater"}, {"org.kde.kdeconnect", "KDE Connect"}, {"code", "Visual Studio Code"}};
    static const char* const networks[][2] = {
        {"wifi:8c1f3a5e2b7d", "Home"}, {"eth:0a1b2c3d4e5f", "Office LAN"}, {"wifi:f00dfeedbeef", "Café"}};
    std::mt19937_64 random(7);
    std::string text = "[";
    text.reserve(static_cast<std::size_t>(kSamples) * 200);
    for (int i = 0; i < kSamples; ++i) {
        const int second = i * 2 / 5;
        const auto& app = apps[random() % 12];
        const auto& network = networks[(i / 20000) % 3];
        if (i > 0) text += ',';
        text += "{\"timestamp\":\"2024-03-01T" + twoDigits(second / 3600) + ":" + twoDigits(second / 60 % 60) + ":" +
                twoDigits(second % 60) + "Z\",\"network_id\":\"" + network[0] + "\",\"network_name\":\"" + network[1] +
                "\",\"app_id\":\"" + app[0] + "\",\"app_name\":\"" + app[1] + "\",\"rx_bytes\":" +
                std::to_string(random() % 5'000'000) + ",\"tx_bytes\":" + std::to_string(random() % 800'000) + "}";
    }
    return text + "]";
}

const std::string& samples() {
    static const std::string text = heavyDaySamples();
    return text;
}

const std::string& aggregateRequest() {
    static const std::string text = "{\"samples\":" + samples() +
                                    ",\"start\":\"2024-03-01T00:00:00Z\",\"end\":\"2024-03-01T23:59:59Z\",\"bucket_size\":\"hour\"}";
    return text;
}

const std::string& rankingRequest() {
    static const std::string text = "{\"samples\":" + samples() + ",\"dimension\":\"application\",\"limit\":0}";
    return text;
}

const std::string& thresholdRequest() {
    static const std::string text =
        R"({"total_bytes":583429876512,"warning_threshold_bytes":500000000000,"danger_threshold_bytes":750000000000})";
    return text;
}

void validate(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::StringStream stream(text.c_str());
        rapidjson::Reader reader;
        const bool ok = !reader.Parse(stream, handler).IsError();
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("validation failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void callCore(benchmark::State& state, char* (*function)(const char*), const std::string& text) {
    for (auto _ : state) {
        char* answer = function(text.c_str());
        const bool failed = std::string_view(answer).rfind("{\"error\"", 0) == 0;
        ol_core_free_string(answer);
        if (failed) state.SkipWithError("the library answered with an error");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ValidateAggregateRequest(benchmark::State& state) { validate(state, aggregateRequest()); }
void BM_AggregateByHour(benchmark::State& state) { callCore(state, ol_core_aggregate_usage, aggregateRequest()); }
void BM_ValidateRankingRequest(benchmark::State& state) { validate(state, rankingRequest()); }
void BM_RankByApplication(benchmark::State& state) { callCore(state, ol_core_rank_entities, rankingRequest()); }
void BM_ValidateThresholdRequest(benchmark::State& state) { validate(state, thresholdRequest()); }
void BM_EvaluateThresholds(benchmark::State& state) { callCore(state, ol_core_evaluate_thresholds, thresholdRequest()); }

BENCHMARK(BM_ValidateAggregateRequest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AggregateByHour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateRankingRequest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankByApplication)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateThresholdRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EvaluateThresholds)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
