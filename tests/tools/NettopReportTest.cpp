#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
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

// Sockets 10 and 11 belong to pid 100, 20 to pid 200; 99 to nobody this user can see. Pid 300
// has exited.
class FakeOwners final : public SocketOwners {
public:
    std::map<std::uint64_t, SocketOwner> where{{10, {100, 3}}, {11, {100, 4}}, {20, {200, 5}}, {40, {200, 6}}};
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
    std::string name(int pid) override { return pid == 100 ? "curl" : pid == 200 ? "Web Content" : ""; }
};

TEST(NettopReportTest, LaterRunsCountSincePreviousRunAndLeaveWhatNoVisibleSocketExplainsToPidZero) {
    FakeOwners owners;
    const TrafficState previous{"boot",
                                1,
                                {{1, {400, 40, 100, 3, 0, "curl"}},
                                 {5, {1000, 1000, -1, -1, 48, ""}},
                                 {7, {300, 30, 300, 9, 0, "uploader"}},
                                 {8, {1, 1, 0, -1, 0, ""}},
                                 {11, {1000, 100, 200, 5, 0, "Web Content"}}},
                                {{"eth0", {1000, 2000}}, {"wlan0", {4294967000, 10}}, {"lo", {0, 0}}}};
    const std::vector<SocketCounters> sockets{
        {1, 10, 500, 45, false},     // confirmed where it was
        {3, 11, 20, 60, false},      // new since the previous run: all of it
        {4, 20, 7, 0, false},        // new
        {5, 99, 1500, 1000, false},  // missed too recently to look again: unseen
        {7, 0, 800, 30, false},      // closed with data queued, its owner gone: still the owner's
        {9, 0, 50, 50, false},       // closed before anybody saw it: unseen
        {6, 12, 5000, 5000, true},   // between two local ends: crosses no counted interface
        {10, 40, 0, 0, false}};      // idle: its owner is only noted
    const std::vector<LinkCounters> links{
        {"eth0", 11000, 2050}, {"wlan0", 200, 10}, {"lo", 9000, 9000}, {"docker0", 5, 5}, {"eth1", 70, 70}};
    // Destroyed since the previous run, with final counters: only a socket with a recorded owner
    // that is not among the living counts.
    const std::vector<SocketCounters> closed{
        {11, 0, 1300, 100, false}, {8, 0, 5, 5, false}, {12, 0, 9, 9, false}, {1, 0, 900, 900, false}};
    // Without a previous state the run is only a baseline.
    auto report = buildReport(sockets, closed, links, std::nullopt, owners, 50);
    EXPECT_TRUE(report.processes.empty() && owners.searches.empty() && report.moved.empty());
    // A local socket is kept for its segments, and never counted.
    EXPECT_TRUE(report.next.sockets.at(6).local);
    EXPECT_EQ(report.next.links.at("eth1"), (LinkTotals{70, 70}));

    report = buildReport(sockets, closed, links, previous, owners, 50);
    // Received: eth0 10000 and wlan0 496 (wrapped), less 927 explained. Sent: 50 counted, less 65
    // explained, is no negative count.
    const std::vector<ProcessTraffic> expected{{0, "unattributed", 10496 - 927, 0},
                                               {100, "curl", 100 + 20, 5 + 60},
                                               {200, "Web Content", 7 + 300, 0},
                                               {300, "uploader", 500, 0}};
    EXPECT_EQ(report.processes, expected);
    EXPECT_EQ(owners.searches, (std::vector<std::set<std::uint64_t>>{{11, 20}}));
    EXPECT_TRUE(report.next.sockets.at(6).local);
    EXPECT_EQ(report.moved, (std::vector<std::uint64_t>{1, 3, 4, 5, 7, 9, 6}));  // not the idle 10
    EXPECT_EQ(report.next.sockets.count(8) + report.next.sockets.count(11), 0u);
    EXPECT_EQ(report.next.sockets.at(3), (SocketTotals{20, 60, 100, 4, 0, "curl"}));
    EXPECT_EQ(report.next.sockets.at(5), (SocketTotals{1500, 1000, -1, -1, 48, ""}));
    EXPECT_EQ(report.next.sockets.at(7), (SocketTotals{800, 30, 300, 9, 0, "uploader"}));
    EXPECT_EQ(report.next.sockets.at(10), (SocketTotals{0, 0, 200, 6, 0, "Web Content"}));

    // Nothing moved: nothing is confirmed or looked for, and nobody is reported.
    owners.searches.clear();
    owners.confirmations = 0;
    report = buildReport(sockets, {}, links, report.next, owners, 51);
    EXPECT_TRUE(report.processes.empty());
    EXPECT_TRUE(owners.searches.empty());
    EXPECT_EQ(owners.confirmations, 0);

    // The descriptor moved to another process and 99 is due again: one search for both. A
    // counter that went back (a wrapped segment count) counts nothing.
    owners.where[10] = {300, 7};
    const std::vector<SocketCounters> later{
        {1, 10, 600, 45, false}, {5, 99, 1600, 1000, false}, {3, 11, 10, 60, false}};
    report = buildReport(later, {}, links, report.next, owners, 48 + missedRetrySeconds);
    EXPECT_EQ(owners.searches, (std::vector<std::set<std::uint64_t>>{{10, 99}}));
    EXPECT_EQ(report.processes, (std::vector<ProcessTraffic>{{300, "", 100, 0}}));
    EXPECT_EQ(report.next.sockets.at(1), (SocketTotals{600, 45, 300, 7, 0, ""}));
    EXPECT_EQ(report.next.sockets.at(5).missedAt, 48 + missedRetrySeconds);
}

// The sampler keeps 12 rows: 11 processes and the unseen row, which takes the smaller ones.
TEST(NettopReportTest, BeyondElevenProcessesTheSmallestAreAddedToTheUnseenRow) {
    FakeOwners owners;
    owners.where.clear();
    TrafficState previous{"boot", 1, {}, {{"eth0", {0, 0}}}};
    std::vector<SocketCounters> sockets;
    // Pid 1001 to 1014 move 100, 200, ... 1400 bytes out and 1 in; 1015 the same as 1004, and a
    // tie goes to the lower pid.
    for (int i = 1; i <= 15; ++i) {
        const auto id = static_cast<std::uint64_t>(i);
        const int pid = 1000 + i;
        owners.where[id] = {pid, 3};
        previous.sockets[id] = {0, 0, pid, 3, 0, ""};
        sockets.push_back({id, id, 1, static_cast<std::uint64_t>(i == 15 ? 400 : 100 * i), false});
    }
    const auto report = buildReport(sockets, {}, {{"eth0", 15, 20000}}, previous, owners, 9);
    ASSERT_EQ(report.processes.size(), maxProcessRows + 1);
    std::vector<int> pids;
    for (const auto& process : report.processes) pids.push_back(process.pid);
    EXPECT_EQ(pids, (std::vector<int>{0, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014}));
    // The interfaces' 15 in are all explained; 20000 out less the 11 kept (9900) is unseen,
    // folded ones included.
    EXPECT_EQ(report.processes[0], (ProcessTraffic{0, "unattributed", 4, 20000 - 9900}));

    // Sockets that count more than the interfaces moved: the unseen row is the folded bytes alone.
    const auto over = buildReport(sockets, {}, {{"eth0", 0, 0}}, previous, owners, 9);
    ASSERT_EQ(over.processes.size(), maxProcessRows + 1);
    EXPECT_EQ(over.processes[0], (ProcessTraffic{0, "unattributed", 4, 100 + 200 + 300 + 400}));

    // Eleven processes are all reported; the unseen row only when the interfaces moved more.
    sockets.resize(11);
    EXPECT_EQ(buildReport(sockets, {}, {{"eth0", 0, 0}}, previous, owners, 9).processes.size(), 11u);
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

TEST(NettopReportTest, StateRoundTripsAndAnythingElseIsNoStateAtAll) {
    SocketAddress address{10, 0x1234, 0x5000, 2, {0, 0, 0xffff0000, 0x0100007f}, {1, 2, 3, 4}};
    TrafficState state{"b-1",
                       42,
                       {{1, {3, 4, 77, 9, 0, "Web Content", 4000000000u, false, address}},
                        {18446744073709551615u, {5, 6, -1, -1, 123, "", 7, true, {}}}},
                       {{"eth0", {1, 2}}, {"wlp0s20f3", {UINT64_MAX, 0}}},
                       99,
                       3,
                       1000,
                       123456789};
    const auto bytes = formatState(state);
    EXPECT_EQ(parseState(bytes), state);
    // Only a command's first 15 bytes are kept, as the kernel keeps them.
    state.sockets.at(1).name = "a name longer than a command";
    EXPECT_EQ(parseState(formatState(state))->sockets.at(1).name, "a name longer t");

    // Cut anywhere, or longer, or of another format: nothing, not a part.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        ASSERT_EQ(parseState(std::string_view(bytes).substr(0, size)), std::nullopt) << size;
    }
    EXPECT_EQ(parseState(bytes + '\0'), std::nullopt);
    auto other = bytes;
    other[20] = '3';  // "ostrel-nettop-state 3", the text form
    EXPECT_EQ(parseState(other), std::nullopt);
    EXPECT_EQ(parseState("ostrel-nettop-state 3 b 1\n1 2 3 4 5 7 a b\n"), std::nullopt);
    // A count that promises more records than there are bytes is refused before anything is made.
    auto huge = formatState(TrafficState{"b", 1, {}, {}});
    huge.replace(huge.size() - 4, 4, std::string("\xff\xff\xff\x7f", 4));
    EXPECT_EQ(parseState(huge), std::nullopt);
}

TEST(NettopReportTest, StateFolderIsTheUsersOwnStateFolderBeforeAnySharedOne) {
    TempDir state, runtime, tmp;
    const auto uid = ::getuid();
    std::string why;
    // The state folder's missing parents are made, privately.
    EXPECT_EQ(stateDirectory(state.root + "/a/b", runtime.root, tmp.root, uid, why), state.root + "/a/b/ostrel");
    struct stat info {};
    ASSERT_EQ(::stat((state.root + "/a").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(stateDirectory("", runtime.root, tmp.root, uid, why), runtime.root + "/ostrel");
    const auto fallback = tmp.root + "/ostrel-nettop-" + std::to_string(uid);
    EXPECT_EQ(stateDirectory("relative", "", tmp.root, uid, why), fallback);

    // Folders somebody else could have prepared are passed over, and with none left there is no
    // state, with the reason.
    ASSERT_EQ(::chmod((state.root + "/a/b/ostrel").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(fallback.c_str(), 0755), 0);
    fs::remove(runtime.root + "/ostrel");
    fs::create_directory_symlink(state.root, runtime.root + "/ostrel");
    EXPECT_EQ(stateDirectory(state.root + "/a/b", runtime.root, tmp.root, uid, why), std::nullopt);
    EXPECT_NE(why.find(fallback), std::string::npos) << why;
    EXPECT_EQ(stateDirectory("", "", tmp.root, uid + 1, why), std::nullopt);
}

TEST(NettopReportTest, OnlyASmallPlainStateFileInThisFormatIsABaseline) {
    TempDir folder;
    using Part = StateFile::Part;
    const TrafficState state{"b", 1, {{1, {3, 4, 77, 9, 0, "x"}}}, {}};
    StateFile file(folder.root, 7, 0);
    ASSERT_TRUE(file.locked());
    // Another run in the same network namespace holds the lock for the waiting time; one in
    // another namespace does not wait, and has no state of its own yet.
    EXPECT_FALSE(StateFile(folder.root, 7, 20).locked());
    {
        const StateFile other(folder.root, 8, 0);
        ASSERT_TRUE(other.locked());
        ASSERT_TRUE(other.save(Part::recent, {"b", 2, {}, {}}));
    }

    for (const auto& [part, name] :
         {std::pair{Part::recent, "nettop-7.state"}, std::pair{Part::walked, "nettop-7.sockets"}}) {
        SCOPED_TRACE(name);
        const auto path = folder.file(name);
        TrafficState loaded;
        std::string why;
        EXPECT_EQ(file.load(part, loaded, why), StateFile::Load::absent);
        ASSERT_TRUE(file.save(part, state));
        EXPECT_EQ(file.load(part, loaded, why), StateFile::Load::loaded);
        EXPECT_EQ(loaded, state);

        const std::vector<std::function<void()>> faults{
            [&] { ASSERT_EQ(::truncate(folder.write(name, "").c_str(), maxStateBytes + 1), 0); },  // sparse
            [&] { folder.write(name, "ostrel-nettop-state 3 b 1\n1 2 3 4 5 6 7\n"); },
            [&] { folder.write(name, formatState(state).substr(0, 40)); },
            [&] { fs::create_directory(path); },
            [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
            [&] { fs::create_symlink(folder.write("elsewhere", formatState(state)), path); },
        };
        for (std::size_t i = 0; i < faults.size(); ++i) {
            fs::remove(path);
            faults[i]();
            why.clear();
            EXPECT_EQ(file.load(part, loaded, why), StateFile::Load::discarded) << i;
            EXPECT_FALSE(why.empty()) << i;
        }
        // A state that cannot be saved leaves no outdated one behind.
        fs::remove(path);
        ASSERT_TRUE(file.save(part, state));
        const TrafficState huge{"b", 1, {}, {{std::string(maxStateBytes, 'x'), {}}}};
        EXPECT_FALSE(file.save(part, huge));
        EXPECT_FALSE(fs::exists(path));
    }
}

}  // namespace
}  // namespace ostrel::nettop
