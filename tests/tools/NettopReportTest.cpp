#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

#include "NettopReport.hpp"
#include "Platform/support/TempTree.hpp"
#include "ProcessSockets.hpp"
#include "TrafficState.hpp"

namespace ostrel::nettop {
namespace {

namespace fs = std::filesystem;

using TempDir = ostrel::testing::TempTree;

// Sockets 10 and 11 belong to pid 100, 20 to pid 200; 99 to nobody this user can see.
class FakeOwners final : public SocketOwners {
public:
    std::map<std::uint64_t, SocketOwner> where{{10, {100, 3}}, {11, {100, 4}}, {20, {200, 5}}};
    std::vector<std::set<std::uint64_t>> searches;
    int confirmations = 0;

    bool holds(const SocketOwner& owner, std::uint64_t inode) override {
        ++confirmations;
        const auto found = where.find(inode);
        return found != where.end() && found->second == owner;
    }
    std::map<std::uint64_t, SocketOwner> find(const std::set<std::uint64_t>& wanted,
                                              const std::set<std::uint64_t>& noted) override {
        searches.push_back(wanted);
        std::map<std::uint64_t, SocketOwner> found;
        for (const auto& [inode, owner] : where) {
            if (wanted.count(inode) != 0 || noted.count(inode) != 0) found[inode] = owner;
        }
        return found;
    }
    std::string name(int pid) override { return pid == 100 ? "curl" : "Web Content"; }
};

TEST(NettopReportTest, AFirstRunCountsEverySocketSinceItOpenedAndRemembersItsOwner) {
    FakeOwners owners;
    const std::vector<SocketCounters> sockets{{10, 1, 500, 40}, {11, 2, 20, 60}, {20, 3, 7, 0}, {99, 4, 1000, 1000}};
    const auto report = buildReport(sockets, std::nullopt, owners, 50);
    const std::vector<ProcessTraffic> expected{{100, "curl", 520, 100}, {200, "Web Content", 7, 0}};
    EXPECT_EQ(report.processes, expected);
    EXPECT_EQ(owners.searches, (std::vector<std::set<std::uint64_t>>{{10, 11, 20, 99}}));
    const TrafficState next{{{10, 1}, {500, 40, 100, 3, 0}},
                            {{11, 2}, {20, 60, 100, 4, 0}},
                            {{20, 3}, {7, 0, 200, 5, 0}},
                            {{99, 4}, {1000, 1000, -1, -1, 50}}};
    EXPECT_EQ(report.next, next);
}

TEST(NettopReportTest, LaterRunsCountSincePreviousRunAndLookOnlyForSocketsThatMovedAndCannotBeConfirmed) {
    FakeOwners owners;
    const TrafficState previous{{{10, 1}, {400, 40, 100, 3, 0}},
                                // Same inode, other cookie: a new socket that reused the number.
                                {{11, 9}, {20, 60, 100, 4, 0}},
                                {{20, 3}, {50, 0, 200, 5, 0}},
                                {{30, 5}, {1, 1, 0, -1, 0}},
                                {{99, 4}, {1000, 1000, -1, -1, 48}}};
    const std::vector<SocketCounters> sockets{
        {10, 1, 500, 45}, {11, 2, 20, 60}, {20, 3, 7, 0}, {99, 4, 1500, 1000}, {40, 6, 0, 0}};
    auto report = buildReport(sockets, previous, owners, 50);
    const std::vector<ProcessTraffic> expected{{100, "curl", 100 + 20, 5 + 60}, {200, "Web Content", 7, 0}};
    EXPECT_EQ(report.processes, expected);
    // 10 and 20 are confirmed where they were; 99 was missed too recently to look again.
    EXPECT_EQ(owners.searches, (std::vector<std::set<std::uint64_t>>{{11}}));
    EXPECT_EQ(report.next.count({30, 5}), 0u);
    EXPECT_EQ(report.next.at({99, 4}), (SocketTotals{1500, 1000, -1, -1, 48}));
    EXPECT_EQ(report.next.at({40, 6}), (SocketTotals{0, 0, 0, -1, 0}));

    // Nothing moved: nothing is confirmed or looked for, and nobody is reported.
    owners.searches.clear();
    owners.confirmations = 0;
    report = buildReport(sockets, report.next, owners, 51);
    EXPECT_TRUE(report.processes.empty());
    EXPECT_TRUE(owners.searches.empty());
    EXPECT_EQ(owners.confirmations, 0);

    // The descriptor moved to another process and 99 is due again: one search for both.
    owners.where[10] = {300, 7};
    const std::vector<SocketCounters> later{{10, 1, 600, 45}, {11, 2, 20, 60}, {20, 3, 7, 0}, {99, 4, 1600, 1000}};
    report = buildReport(later, report.next, owners, 48 + missedRetrySeconds);
    EXPECT_EQ(owners.searches, (std::vector<std::set<std::uint64_t>>{{10, 99}}));
    EXPECT_EQ(report.processes, (std::vector<ProcessTraffic>{{300, "Web Content", 100, 0}}));
    EXPECT_EQ(report.next.at({10, 1}), (SocketTotals{600, 45, 300, 7, 0}));
    EXPECT_EQ(report.next.at({99, 4}).missedAt, 48 + missedRetrySeconds);
}

TEST(NettopReportTest, CsvHasNettopsShapeAndSafeLabels) {
    // A multi-byte name cut at the kernel's name limit must not make the whole output invalid.
    const std::vector<ProcessTraffic> processes{
        {42, "a,b\nc", 1, 2}, {7, "", UINT64_MAX, 0}, {8, "\xD0\x9F\xD1\x80\xD0", 3, 0}};
    EXPECT_EQ(formatCsv(processes, "12:34:56.789012"),
              "time,,interface,state,bytes_in,bytes_out\n"
              "12:34:56.789012,a_b_c.42,,,1,2\n"
              "12:34:56.789012,.7,,,9223372036854775807,0\n"
              "12:34:56.789012,\xD0\x9F\xD1\x80_.8,,,3,0\n");
    const auto time = timeOfDay(timespec{0, 123456789});
    ASSERT_EQ(time.size(), 15u);
    EXPECT_EQ(time.substr(8), ".123456");
}

TEST(NettopReportTest, StateTextRoundTripsAndDropsWhatItCannotRead) {
    const TrafficState state{{{1, 2}, {3, 4, 77, 9, 0}}, {{18446744073709551615u, 0}, {5, 6, -1, -1, 123}}};
    EXPECT_EQ(parseState(formatState(state)), state);
    EXPECT_TRUE(parseState("").empty());
    EXPECT_TRUE(parseState("1 2 3 4\n").empty());
    EXPECT_TRUE(parseState("ostrel-nettop-state 3\n1 2 3 4 0 -1 0\n").empty());
    // The first format's lines still give counters, without owners.
    const TrafficState kept{{{1, 2}, {3, 4}}};
    EXPECT_EQ(
        parseState(
            "ostrel-nettop-state 1\n1 2 3\n1 2 3 4\n-1 2 3 4\n1 2 3 4 5\n1  2 3 4\nx\n18446744073709551616 0 0 0"),
        kept);
    EXPECT_EQ(parseState("ostrel-nettop-state 2\n1 2 3 4\n1 2 3 4 5 6 7 8\n1 2 3 4 x 6 7\n1 2 3 4 5 6 -7\n"
                         "1 2 3 4 5 6 7\n"),
              (TrafficState{{{1, 2}, {3, 4, 5, 6, 7}}}));
}

TEST(NettopReportTest, StateFolderIsTheRuntimeFolderElseAPrivateFolderUnderTmp) {
    TempDir runtime;
    TempDir tmp;
    const auto uid = ::getuid();
    EXPECT_EQ(stateDirectory(runtime.root.c_str(), tmp.root, uid), runtime.root + "/ostrel");
    EXPECT_TRUE(fs::is_directory(runtime.root + "/ostrel"));

    const auto fallback = tmp.root + "/ostrel-nettop-" + std::to_string(uid);
    EXPECT_EQ(stateDirectory(nullptr, tmp.root, uid), fallback);
    EXPECT_EQ(stateDirectory("", tmp.root, uid), fallback);
    EXPECT_EQ(stateDirectory("relative/dir", tmp.root, uid), fallback);
    struct stat info {};
    ASSERT_EQ(::stat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A folder somebody else could have prepared is not used.
    ASSERT_EQ(::chmod(fallback.c_str(), 0755), 0);
    EXPECT_EQ(stateDirectory(nullptr, tmp.root, uid), std::nullopt);
    fs::remove(fallback);
    fs::create_directory_symlink(runtime.root, fallback);
    EXPECT_EQ(stateDirectory(nullptr, tmp.root, uid), std::nullopt);
    EXPECT_EQ(stateDirectory(nullptr, tmp.root, uid + 1), std::nullopt);

    // The state is read only from a file written in place, not through a planted link.
    fs::remove(fallback);
    const auto directory = stateDirectory(nullptr, tmp.root, uid).value_or("");
    const TrafficState state{{{1, 2}, {3, 4}}};
    StateFile(directory).save(state);
    EXPECT_EQ(StateFile(directory).load(), state);
    fs::rename(directory + "/nettop.state", directory + "/elsewhere");
    fs::create_symlink(directory + "/elsewhere", directory + "/nettop.state");
    EXPECT_EQ(StateFile(directory).load(), std::nullopt);
}

}  // namespace
}  // namespace ostrel::nettop
