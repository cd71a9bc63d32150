#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Platform/ProcessToolRunner.hpp"

using namespace std::chrono_literals;
using ostrel::ProcessToolRunner;
using Output = std::optional<std::string>;

namespace {

// No child of this process is left unreaped.
bool noChildrenLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

Output sh(ProcessToolRunner& runner, const std::string& script) {
    return runner.runCommand("/bin/sh", {"-c", script});
}

}  // namespace

TEST(ProcessToolRunnerTest, OnlyAZeroExitWithUtf8OutputCountsArgumentsReachNoShellAndNoDescriptorLeaks) {
    ProcessToolRunner runner;
    EXPECT_EQ(runner.runCommand("/usr/bin/printf", {"[%s]\\n", "a b", "$HOME", "*", ";true"}),
              "[a b]\n[$HOME]\n[*]\n[;true]\n");
    for (const auto& [script, output] : std::vector<std::pair<std::string, Output>>{
             {"echo out; echo err >&2", "out\n"},  // standard error is discarded
             {"cat", ""},                          // standard input is empty
             {"echo interface: eth0; exit 1", std::nullopt},
             {"echo partial; kill -9 $$", std::nullopt},
             {"printf 'interface: en\\377\\n'", std::nullopt}}) {
        EXPECT_EQ(sh(runner, script), output) << script;
    }
    for (const char* unusable :
         {"echo", "/nonexistent/ostrel-tool", "/etc/hostname"}) {  // relative, missing, not executable
        EXPECT_EQ(runner.runCommand(unusable, {}), std::nullopt) << unusable;
    }
    const int inherited = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    EXPECT_EQ(sh(runner, "ls /proc/$$/fd"), "0\n1\n2\n");
    ::close(inherited);
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    for (int i = 0; i < 50; ++i) runner.runCommand(i % 2 ? "/bin/true" : "/bin/false", {});
    EXPECT_EQ(descriptors(), before);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ProcessToolRunnerTest, MegabytesOnBothStreamsAreDrainedWhileTheToolRuns) {
    ProcessToolRunner runner(10s);
    // Error text first and far beyond a pipe's capacity: reading the streams one after the
    // other would leave the tool blocked on its standard error.
    const auto output = sh(runner,
                           "head -c 6000000 /dev/zero | tr '\\0' e >&2; head -c 8000000 /dev/zero | tr '\\0' o; "
                           "head -c 6000000 /dev/zero | tr '\\0' e >&2");
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(output->size(), 8000000u);
    EXPECT_EQ(output->find_first_not_of('o'), std::string::npos);
}

TEST(ProcessToolRunnerTest, AHungOrFloodingToolIsKilledWithWhatItStartedAndReaped) {
    ProcessToolRunner runner(300ms, 1u << 20);
    const auto pidFile = std::filesystem::temp_directory_path() / ("ostrel-hung-" + std::to_string(::getpid()));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(sh(runner, "sleep 30 & echo $! > " + pidFile.string() + "; echo started; sleep 30"), std::nullopt);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    pid_t grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    std::filesystem::remove(pidFile);
    ASSERT_GT(grandchild, 0);
    const auto alive = [&] {
        std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
        std::string id, name, state;
        return (stat >> id >> name >> state) && state != "Z" && state != "X";
    };
    for (int i = 0; i < 100 && alive(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(alive());  // it was in the tool's process group

    EXPECT_EQ(sh(runner, "exec >&- 2>&-; sleep 30"), std::nullopt);  // closed its output, still runs
    // Writing without pause must neither outrun the time limit nor fill memory.
    ProcessToolRunner generous(300ms, std::size_t{1} << 40);
    const auto flood = std::chrono::steady_clock::now();
    EXPECT_EQ(sh(generous, "cat /dev/zero & cat /dev/zero & exec cat /dev/zero"), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - flood, 1s);
    EXPECT_EQ(sh(runner, "exec cat /dev/zero"), std::nullopt);  // beyond the output limit
    EXPECT_TRUE(noChildrenLeft());
}
