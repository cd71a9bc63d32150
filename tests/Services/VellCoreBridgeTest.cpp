// The bridge with the built libostrel_core.so, with copies of it that another account could or
// could not replace, and with scripted answers that probe its JSON rules.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Services/VellCoreBridge.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

UsageSampleRecord sample(const char* time, std::string net, std::string netName, std::string app, std::string appName,
                         std::int64_t rx, std::int64_t tx) {
    return {"ID", *ostrelISO8601Date(time), net, netName, NetworkType::wifi, app, appName, rx, tx, "nettop", 1};
}

const DateRange kHour{*ostrelISO8601Date("2024-03-01T10:00:00.000Z"), *ostrelISO8601Date("2024-03-01T11:00:00.000Z")};

std::string bytes(std::int64_t rx, std::int64_t tx) {
    return std::to_string(rx) + "/" + std::to_string(tx);
}
std::string describe(const std::optional<VellAggregation>& answer) {
    if (!answer) return "nothing";
    std::string out = bytes(answer->summary.rxBytes, answer->summary.txBytes) + ":";
    for (const auto& p : answer->trend)
        out += " " + ostrelISO8601String(p.timestamp) + " " + bytes(p.rxBytes, p.txBytes);
    return out;
}
std::string describe(const std::optional<std::vector<RankedUsage>>& answer) {
    if (!answer) return "nothing";
    std::string out = "ranked:";
    for (const auto& r : *answer)
        out += " " + r.id + " " + r.title + " " + bytes(r.rxBytes, r.txBytes) + " " + std::to_string(r.share);
    return out;
}
std::string describe(const std::optional<ThresholdEvaluation>& e) {
    if (!e) return "nothing";
    return std::string(rawValue(e->level)) + (e->exceedsWarning ? " W" : " -") + (e->exceedsDanger ? "D " : "- ") +
           std::to_string(e->usageRatio);
}

// Entry points that answer with `answer` and count their calls and releases.
struct Script {
    std::optional<std::string> answer;
    std::string request;
    int calls = 0;
    int frees = 0;
} script;

char* scripted(const char* request) {
    ++script.calls;
    script.request = request;
    return script.answer ? ::strdup(script.answer->c_str()) : nullptr;
}
void release(char* text) {
    ++script.frees;
    std::free(text);
}

VellCoreBridge scriptedBridge(const std::shared_ptr<LogSink>& log, VellCoreBridge::FreeFunction free = release) {
    script = Script{};
    return VellCoreBridge(VellCoreBridge::EntryPoints{scripted, scripted, scripted, free}, log);
}

TEST(VellCoreBridgeTest, FindsTheBuiltLibraryFirstAndSkipsAnEmptyVariable) {
    const std::string program = fs::read_symlink("/proc/self/exe").parent_path().string();
    const std::string current = fs::current_path().string();
    for (const char* variable : {"", "/opt/ostrel/libostrel_core.so"}) {
        ::setenv("OSTREL_VELL_CORE_LIB", variable, 1);
        std::vector<std::string> expected{program + "/../lib/ostrel/libostrel_core.so", program + "/libostrel_core.so"};
        if (*variable != '\0') expected.emplace_back(variable);
        expected.push_back(current + "/../build/lib/libostrel_core.so");
        expected.push_back(current + "/build/lib/libostrel_core.so");
        EXPECT_EQ(VellCoreBridge::defaultLibraryCandidates(), expected) << variable;
    }
    ::unsetenv("OSTREL_VELL_CORE_LIB");
    const VellCoreBridge first({VellCoreBridge::defaultLibraryCandidates().front()},
                               std::make_shared<CapturingLogSink>());
    EXPECT_TRUE(first.isAvailable());
}

TEST(VellCoreBridgeTest, LoadsOnlyWhatNoOtherAccountCanReplace) {
    const std::string built = fs::canonical(VellCoreBridge::defaultLibraryCandidates().front());
    const auto available = [](const std::vector<std::string>& candidates) {
        return VellCoreBridge(candidates, std::make_shared<CapturingLogSink>()).isAvailable();
    };
    // Copies of the built library at a/b/libostrel_core.so in a fresh folder of the build tree
    // (which only this user writes), then one folder or file opened up, or given away (-1).
    const std::tuple<const char*, const char*, int, bool> cases[] = {
        {"the user's own folders", "a", 0755, true},
        {"a group-writable folder", "a/b", 0775, false},
        {"a world-writable folder higher up", "a", 0777, false},
        {"a shared folder with the sticky bit, as /tmp", "a", 01777, true},
        {"a group-writable file", "a/b/libostrel_core.so", 0775, false},
        {"a folder of another account", "a", -1, false},
        {"a file of another account", "a/b/libostrel_core.so", -1, false}};
    for (const auto& [label, changed, mode, safe] : cases) {
        if (mode < 0 && ::geteuid() != 0) continue;  // only root gives files away
        SCOPED_TRACE(label);
        std::string pattern = (fs::current_path() / "bridge-XXXXXX").string();
        const fs::path root = ::mkdtemp(pattern.data()), library = root / "a/b/libostrel_core.so";
        fs::create_directories(root / "a/b");
        for (const char* folder : {"a", "a/b"}) fs::permissions(root / folder, fs::perms(0755));
        fs::copy_file(built, library);
        if (mode >= 0) fs::permissions(root / changed, fs::perms(mode));
        ASSERT_TRUE(mode >= 0 || ::chown((root / changed).c_str(), 65534, 65534) == 0);
        EXPECT_EQ(available({library}), safe);
        // A link in an open folder is followed and the library loaded where it lies; a missing or
        // unsafe candidate is passed over for the next.
        fs::create_directory(root / "open");
        fs::permissions(root / "open", fs::perms(0777));
        fs::copy_file(built, root / "open/libostrel_core.so");
        fs::create_symlink(library, root / "open/link.so");
        EXPECT_EQ(available({root / "missing.so", root / "open/libostrel_core.so", root / "open/link.so"}), safe);
        fs::remove_all(root);
    }
    Dl_info libc{};
    ::dladdr(reinterpret_cast<void*>(&::getpid), &libc);  // loads, but has none of the four names
    EXPECT_FALSE(available({libc.dli_fname}));
}

TEST(VellCoreBridgeTest, LogsTheBuiltLibrarysErrorsAndGivesNothing) {
    const auto log = std::make_shared<CapturingLogSink>();
    const VellCoreBridge bridge(VellCoreBridge::defaultLibraryCandidates(), log);
    EXPECT_EQ(describe(bridge.evaluateThreshold(10, 10, 20)), "warning W- 1.000000");
    EXPECT_EQ(describe(bridge.evaluateThreshold(-1, 0, 0)), "nothing");  // it refuses negative counts
    ASSERT_EQ(log->lines().size(), 1u);
    EXPECT_EQ(log->lines()[0].rfind("Vell core error: input JSON parse error: ", 0), 0u) << log->lines()[0];
}

TEST(VellCoreBridgeTest, WritesRequestsAsTheLibraryReadsThem) {
    const auto log = std::make_shared<CapturingLogSink>();
    const auto bridge = scriptedBridge(log);
    const std::vector<UsageSampleRecord> samples = {
        sample("2024-03-01T10:15:30.999Z", "wifi:home", "Home \"5G\"\n", "org.mozilla.firefox", "Firefox\\", 300, 20),
        sample("1970-01-01T00:00:00.000Z", "n", "Caf\xC3\xA9", "a", "\x01", 0, -1)};
    const std::string samplesText =
        R"({"samples":[{"timestamp":"2024-03-01T10:15:30Z","network_id":"wifi:home","network_name":"Home \"5G\"\u000a",)"
        R"("app_id":"org.mozilla.firefox","app_name":"Firefox\\","rx_bytes":300,"tx_bytes":20},)"
        R"({"timestamp":"1970-01-01T00:00:00Z","network_id":"n","network_name":"Café","app_id":"a",)"
        R"("app_name":"\u0001","rx_bytes":0,"tx_bytes":-1}])";
    bridge.aggregate(samples, kHour, VellBucketSize::fiveMinutes);
    EXPECT_EQ(script.request, samplesText + R"(,"start":"2024-03-01T10:00:00Z","end":"2024-03-01T11:00:00Z",)"
                                            R"("bucket_size":"five_minutes"})");
    auto prepared = bridge.prepare(samples);  // one text of the samples for several requests
    bridge.rank(prepared, VellRankingDimension::network, 5);
    EXPECT_EQ(script.request, samplesText + R"(,"dimension":"network","limit":5})");
    bridge.aggregate(prepared, kHour, VellBucketSize::day);
    EXPECT_EQ(script.request, samplesText + R"(,"start":"2024-03-01T10:00:00Z","end":"2024-03-01T11:00:00Z",)"
                                            R"("bucket_size":"day"})");
    bridge.evaluateThreshold(-1, 0, 5);
    EXPECT_EQ(script.request, R"({"total_bytes":-1,"warning_threshold_bytes":0,"danger_threshold_bytes":5})");
    EXPECT_EQ(script.calls, 4);

    auto broken = samples;  // a text that is not UTF-8 is never sent
    broken[1].appName = "\xC3";
    EXPECT_EQ(describe(bridge.rank(broken, VellRankingDimension::application, 5)), "nothing");
    EXPECT_EQ(script.calls, 4);
    const auto unfree = scriptedBridge(log, nullptr);  // no free function: nothing is ever called
    EXPECT_FALSE(unfree.isAvailable());
    EXPECT_EQ(describe(unfree.evaluateThreshold(1, 2, 3)), "nothing");
    EXPECT_EQ(script.calls, 0);
    EXPECT_TRUE(log->lines().empty());
}

TEST(VellCoreBridgeTest, ReadsAnswersStrictlyAndReleasesEachOnce) {
    const std::string totals = R"("total_rx_bytes":3,"total_tx_bytes":4,"points":)";
    const std::string points = totals + R"([{"bucket_start":"2024-03-01T10:00:00Z","rx_bytes":3,"tx_bytes":4}])";
    const std::string flags = R"("exceeds_warning":true,"exceeds_danger":true,"usage_ratio":2})";
    const char* answered = "3/4: 2024-03-01T10:00:00.000Z 3/4";
    enum Kind { aggregation, ranking, threshold };
    struct Case {
        Kind kind;
        std::optional<std::string> answer;
        const char* result;
        const char* logged = "";
    };
    const std::vector<Case> cases = {
        {aggregation, "{" + points + R"(,"more":{"x":[1]}})", answered},
        {aggregation, "{" + totals + "[]}", "3/4:"},
        {aggregation, "{" + totals + R"([{"bucket_start":"2024-03-01T10:00:00.5Z","rx_bytes":3,"tx_bytes":4}]})",
         "nothing"},
        {aggregation, R"({"total_rx_bytes":3,"points":[]})", "nothing"},
        {aggregation, R"({"total_rx_bytes":3.0,"total_tx_bytes":4,"points":[]})", "nothing"},
        {aggregation, R"({"total_rx_bytes":9223372036854775808,"total_tx_bytes":4,"points":[]})", "nothing"},
        {aggregation, "{" + totals, "nothing"},
        {aggregation, R"({"error":"bad \"request\""})", "nothing", "Vell core error: bad \"request\""},
        {aggregation, R"({"error":"x",)" + points + "}", "nothing", "Vell core error: x"},
        {aggregation, R"({"error":5,)" + points + "}", answered},
        {aggregation, "{\"error\":\"\xFF\"}", "nothing", "Vell core error: \xEF\xBF\xBD"},
        {aggregation, std::nullopt, "nothing"},
        {ranking, R"({"items":[]})", "ranked:"},
        {ranking, R"({"items":[{"id":"a","label":"A","rx_bytes":1,"tx_bytes":2,"total_bytes":3,"share":0.5}]})",
         "ranked: a A 1/2 0.500000"},
        {ranking, R"({"items":[{"id":"a","label":"A","rx_bytes":1,"tx_bytes":2}]})", "nothing"},
        {threshold, R"({"level":"danger",)" + flags, "danger WD 2.000000"},
        {threshold, R"({"level":"Danger",)" + flags, "nothing"},
        {threshold, R"({"level":"danger","exceeds_warning":1,"exceeds_danger":true,"usage_ratio":2})", "nothing"},
    };
    const std::vector<UsageSampleRecord> samples = {sample("2024-03-01T10:00:00.000Z", "n", "N", "a", "A", 3, 4)};
    for (const auto& c : cases) {
        const auto log = std::make_shared<CapturingLogSink>();
        const auto bridge = scriptedBridge(log);
        script.answer = c.answer;
        const std::string result =
            c.kind == aggregation ? describe(bridge.aggregate(samples, kHour, VellBucketSize::hour))
            : c.kind == ranking   ? describe(bridge.rank(samples, VellRankingDimension::network, 5))
                                  : describe(bridge.evaluateThreshold(20, 10, 20));
        const std::string label = c.answer.value_or("null");
        EXPECT_EQ(result, c.result) << label;
        EXPECT_EQ(log->lines(), *c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{}) << label;
        EXPECT_EQ(script.calls, 1) << label;
        EXPECT_EQ(script.frees, c.answer ? 1 : 0) << label;
    }
}

}  // namespace
}  // namespace ostrel
