#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <set>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;

namespace {

constexpr int kBatchSize = 24;

// Batch `number` of writer `writer`: samples "W<writer>B<number>-<i>" across two networks, three
// applications and several hours, so that roll-up rows are both inserted and added to.
std::vector<UsageSampleRecord> batch(int writer, int number) {
    std::vector<UsageSampleRecord> samples;
    const Date start = localTime("UTC", 2026, 7, 1, 0) + std::chrono::minutes(41 * number + 13 * writer);
    for (int i = 0; i < kBatchSize; ++i) {
        samples.push_back(
            makeSample('W' + std::to_string(writer) + "B" + std::to_string(number) + "-" + std::to_string(i),
                       start + std::chrono::minutes(7 * i), "net" + std::to_string(i % 2),
                       "app" + std::to_string(i % 3), 1000 + i, 10 * i));
    }
    return samples;
}

// The batches the file holds. Fails the test when one is partly stored, when the file is damaged,
// or when a roll-up differs from the sums of the raw samples (the batches use UTC keys).
std::set<std::string> checkStore(const std::string& path) {
    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.rows("PRAGMA integrity_check;"), (Rows{{"ok"}}));
    std::set<std::string> batches;
    std::string partial;
    for (const auto& row : inspector.rows("SELECT substr(id, 1, instr(id, '-') - 1), COUNT(*) FROM usage_samples "
                                          "GROUP BY 1;")) {
        batches.insert(row[0]);
        if (row[1] != std::to_string(kBatchSize)) partial += row[0] + " has " + row[1] + " samples; ";
    }
    EXPECT_EQ(partial, "");
    for (const auto& [table, key, length] :
         {std::tuple{"daily_usage", "date", 10}, {"hourly_usage", "date_hour", 13}}) {
        EXPECT_EQ(inspector.rows(std::string("SELECT ") + key + ", network_id, app_id, rx_bytes, tx_bytes FROM " +
                                 table + " ORDER BY 1, 2, 3;"),
                  inspector.rows("SELECT substr(timestamp, 1, " + std::to_string(length) + ")" +
                                 (length == 13 ? " || ':00:00'" : "") +
                                 ", network_id, app_id, SUM(rx_bytes), SUM(tx_bytes) FROM usage_samples GROUP BY 1, "
                                 "2, 3 ORDER BY 1, 2, 3;"))
            << table;
    }
    return batches;
}

// Writers killed at random moments, each after at least one committed batch. Every batch a
// writer reported committed must survive; every other batch is there whole or not at all.
TEST(OstrelRepositoryCrashTest, KilledWritersLeaveWholeBatchesAndMatchingRollups) {
    ScopedTimeZone zone{"UTC"};
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    const auto seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::set<std::string> committed;
    for (int writer = 0; writer < 60; ++writer) {
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t child = fork();
        if (child == 0) {
            try {
                auto repository = openRepository(path);
                for (int number = 0;; ++number) {
                    repository->insertSamples(batch(writer, number));
                    if (write(report[1], &number, sizeof number) != sizeof number) break;
                }
            } catch (const std::exception&) {
            }
            _exit(1);
        }
        close(report[1]);
        int number = -1;
        ASSERT_EQ(read(report[0], &number, sizeof number), static_cast<ssize_t>(sizeof number));
        usleep(std::uniform_int_distribution<useconds_t>(0, 4000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended by itself";
        do {
            committed.insert('W' + std::to_string(writer) + "B" + std::to_string(number));
        } while (read(report[0], &number, sizeof number) == sizeof number);
        close(report[0]);

        const auto stored = checkStore(path);
        for (const auto& name : committed) ASSERT_TRUE(stored.count(name)) << "committed batch " << name << " lost";
        if (HasFailure()) return;
    }
}

// A tmpfs of 1 MiB, partly taken by a filler file that the test removes to free space.
TEST(OstrelRepositoryCrashTest, AFullDiskFailsInsertsWithSQLitesErrorAndLosesNoCommittedBatch) {
    ScopedTimeZone zone{"UTC"};
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
    TempTree folder;
    if (mount("ostrel-test", folder.root.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const std::unique_ptr<const char, void (*)(const char*)> unmount(folder.root.c_str(),
                                                                     [](const char* at) { umount2(at, MNT_DETACH); });
    const std::string path = folder.file("ostrel.sqlite"), filler = folder.file("filler");
    std::ofstream(filler) << std::string(400 * 1024, 'x');

    int written = 0;
    {
        auto repository = openRepository(path);
        std::string failure;
        while (failure.empty() && written < 1000) {
            try {
                repository->insertSamples(batch(0, written));
                ++written;
            } catch (const SQLiteError& error) {
                failure = error.what();
            }
        }
        EXPECT_EQ(failure, "SQLite step failed: database or disk is full");
        // Space a rollback gave back may take one more batch; otherwise it fails the same way.
        try {
            repository->insertSamples(batch(1, 0));
            ++written;
        } catch (const SQLiteError& error) {
            EXPECT_EQ(std::string(error.what()), failure);
        }
    }
    ASSERT_EQ(std::remove(filler.c_str()), 0);

    EXPECT_EQ(checkStore(path).size(), static_cast<std::size_t>(written));
    openRepository(path)->insertSamples(batch(2, 0));
    EXPECT_EQ(checkStore(path).size(), static_cast<std::size_t>(written) + 1);
}

}  // namespace
