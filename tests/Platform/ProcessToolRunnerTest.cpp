#include "Platform/ProcessToolRunner.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using ostrel::ProcessToolRunner;

namespace {

std::size_t openDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// No child of this process is left unreaped.
bool noChildrenLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::optional<std::string> sh(ProcessToolRunner& runner, const std::string& script) {
    return runner.runCommand("/bin/sh", {"-c", script});
}

}  // namespace

TEST(ProcessToolRunnerTest, HandsBackStandardOutputOfAZeroExitOnly) {
    ProcessToolRunner runner;
    EXPECT_EQ(runner.runCommand("/bin/echo", {"interface:", "eth0"}), "interface: eth0\n");
    EXPECT_EQ(sh(runner, "true"), "");
    // Standard error is discarded, not mixed into the output.
    EXPECT_EQ(sh(runner, "echo out; echo err >&2"), "out\n");
    // Output does not rescue a failing exit status, nor does death by a signal count.
    EXPECT_EQ(sh(runner, "echo interface: eth0; exit 1"), std::nullopt);
    EXPECT_EQ(sh(runner, "echo partial; kill -9 $$"), std::nullopt);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ProcessToolRunnerTest, PassesArgumentsVerbatimWithoutAShellOrSearchPath) {
    ProcessToolRunner runner;
    EXPECT_EQ(runner.runCommand("/usr/bin/printf", {"[%s]\\n", "a b", "$HOME", "*", ";true"}),
              "[a b]\n[$HOME]\n[*]\n[;true]\n");
    EXPECT_EQ(runner.runCommand("echo", {"x"}), std::nullopt);        // relative: no PATH search
    EXPECT_EQ(runner.runCommand("", {}), std::nullopt);
    EXPECT_EQ(runner.runCommand("/nonexistent/ostrel-tool", {}), std::nullopt);
    EXPECT_EQ(runner.runCommand("/etc/hostname", {}), std::nullopt);  // not executable
    // The child reads nothing from this process: its standard input is empty.
    EXPECT_EQ(runner.runCommand("/bin/cat", {}), "");
}

TEST(ProcessToolRunnerTest, OutputThatIsNotUtf8GivesNothing) {
    ProcessToolRunner runner;
    EXPECT_EQ(runner.runCommand("/usr/bin/printf", {"interface: en\\377\\n"}), std::nullopt);
    EXPECT_EQ(runner.runCommand("/usr/bin/printf", {"Caf\\303\\251\\n"}), "Caf\xC3\xA9\n");
}

TEST(ProcessToolRunnerTest, MegabytesOnBothStreamsAreDrainedWhileTheToolRuns) {
    ProcessToolRunner runner(10s);
    // Error text first and far beyond a pipe's capacity: a runner that read the streams one
    // after the other would leave the tool blocked on its standard error.
    const auto output = sh(runner, "head -c 6000000 /dev/zero | tr '\\0' e >&2; "
                                   "head -c 8000000 /dev/zero | tr '\\0' o; "
                                   "head -c 6000000 /dev/zero | tr '\\0' e >&2");
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(output->size(), 8000000u);
    EXPECT_EQ(output->find_first_not_of('o'), std::string::npos);
}

TEST(ProcessToolRunnerTest, OutputBeyondTheLimitKillsTheTool) {
    ProcessToolRunner runner(10s, 1u << 20);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(sh(runner, "exec cat /dev/zero"), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ProcessToolRunnerTest, AHungToolIsKilledWithWhatItStartedAtTheTimeLimitAndReaped) {
    ProcessToolRunner runner(300ms);
    const auto pidFile = std::filesystem::temp_directory_path() / ("ostrel-hung-" + std::to_string(::getpid()));
    const auto started = std::chrono::steady_clock::now();
    const auto output = sh(runner, "sleep 30 & echo $! > " + pidFile.string() + "; echo started; sleep 30");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(output, std::nullopt);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(noChildrenLeft());

    // The background sleep belonged to the tool's process group and died with it.
    pid_t grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    std::filesystem::remove(pidFile);
    ASSERT_GT(grandchild, 0);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
        std::string pid, name, state;
        gone = !(stat >> pid >> name >> state) || state == "Z" || state == "X";
        if (!gone) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(gone);

    // A tool that closes its output but keeps running is still bounded by the limit.
    EXPECT_EQ(sh(runner, "exec >&- 2>&-; sleep 30"), std::nullopt);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ProcessToolRunnerTest, LeaksNoDescriptorsIntoTheToolOrThisProcess) {
    ProcessToolRunner runner;
    // Inside the tool only its three standard streams are open, whatever this process holds.
    const int inherited = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    const auto listing = sh(runner, "ls -l /proc/$$/fd");
    ::close(inherited);
    ASSERT_TRUE(listing.has_value());
    std::istringstream lines(*listing);
    std::string line;
    std::vector<std::string> open;
    while (std::getline(lines, line)) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) continue;
        const auto numberStart = line.rfind(' ', arrow - 1) + 1;
        open.push_back(line.substr(numberStart, arrow - numberStart) + " " + line.substr(arrow + 4, 5));
    }
    ASSERT_EQ(open.size(), 3u) << *listing;
    EXPECT_EQ(open[0], "0 /dev/");
    EXPECT_EQ(open[1], "1 pipe:");
    EXPECT_EQ(open[2], "2 pipe:");

    const auto before = openDescriptorCount();
    for (int i = 0; i < 50; ++i) {
        runner.runCommand("/bin/true", {});
        runner.runCommand("/bin/false", {});
        runner.runCommand("/nonexistent", {});
    }
    EXPECT_EQ(openDescriptorCount(), before);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ProcessToolRunnerTest, ToolsRunFromSeveralThreadsAtOnceKeepTheirOwnOutput) {
    ProcessToolRunner runner;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string word = std::to_string(t) + "-" + std::to_string(i);
                if (runner.runCommand("/bin/echo", {word}) != word + "\n") ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}
