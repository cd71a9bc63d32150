// Times the analytics fallback's local bucketing on a heavy day: 216,000 samples (5 applications,
// every 2 seconds, a few milliseconds apart within each second), in the process's time zone.
// Usage: ostrel_local_aggregation_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Model/Calendar.hpp"
#include "Services/LocalAggregation.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono;

constexpr int kApps = 5;
constexpr int kTickSeconds = 2;

std::vector<UsageSampleRecord> heavyDay(Date dayStart) {
    std::vector<UsageSampleRecord> samples;
    samples.reserve(86400 / kTickSeconds * kApps);
    for (int tick = 0; tick < 86400 / kTickSeconds; ++tick) {
        for (int app = 0; app < kApps; ++app) {
            UsageSampleRecord sample;
            sample.timestamp = dayStart + seconds(tick * kTickSeconds) + milliseconds(app * 7);
            sample.rxBytes = 1000 + (tick * 37 + app * 101) % 50000;
            sample.txBytes = 200 + (tick * 13 + app * 17) % 9000;
            samples.push_back(sample);
        }
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    // A day with a daylight-saving change in most zones that have one.
    const auto samples = heavyDay(Date{date::sys_days{date::year{2024} / date::March / 31} - hours{6}});
    const struct {
        const char* name;
        VellBucketSize size;
    } buckets[] = {
        {"day", VellBucketSize::day}, {"hour", VellBucketSize::hour}, {"five minutes", VellBucketSize::fiveMinutes}};
    const char* zone = std::getenv("TZ");
    std::printf("heavy day: %zu samples, TZ=%s\n", samples.size(), zone ? zone : "(unset)");
    for (const auto& bucket : buckets) {
        std::vector<double> times;
        std::size_t points = 0;
        for (int round = 0; round < rounds; ++round) {
            const auto start = steady_clock::now();
            const auto result = aggregateLocally(samples, bucket.size, Calendar::current());
            times.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
            points = result.trend.size();
        }
        std::sort(times.begin(), times.end());
        std::printf("%-12s buckets: %4zu points, median %.2f ms (min %.2f ms) over %d rounds\n", bucket.name, points,
                    times[times.size() / 2], times.front(), rounds);
    }
}
