#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/UniqueFd.hpp"

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

// Whether process `pid`, not a child of this one, ends within a minute; it is ended if not.
bool ends(pid_t pid) {
    const ostrel::UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!process.valid()) return errno == ESRCH;
    pollfd ended{process.get(), POLLIN, 0};
    if (::poll(&ended, 1, 60000) == 1) return true;
    ::syscall(SYS_pidfd_send_signal, process.get(), SIGKILL, nullptr, 0);
    return false;
}

}  // namespace

TEST(ProcessToolRunnerTest, OnlyAZeroExitWithUtf8OutputCountsArgumentsReachNoShellAndNoDescriptorLeaks) {
    ProcessToolRunner runner(60s);  // a loaded machine's tools still finish
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
    ProcessToolRunner runner(60s);
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
    const auto pidFile = std::filesystem::temp_directory_path() / ("ostrel-hung-" + std::to_string(::getpid()));
    // Time enough to start the background sleep on a loaded machine; given more, an output would
    // come. The background sleep outlives the wait for its end.
    ProcessToolRunner runner(5s);
    EXPECT_EQ(sh(runner, "sleep 600 & echo $! > " + pidFile.string() + "; echo started; sleep 30"), std::nullopt);
    pid_t grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    std::filesystem::remove(pidFile);
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(ends(grandchild));  // it was in the tool's process group

    ProcessToolRunner quick(300ms, std::size_t{1} << 40);
    EXPECT_EQ(sh(quick, "exec >&- 2>&-; sleep 30"), std::nullopt);  // closed its output, still runs
    // Writing without pause must neither outrun the time limit nor fill memory.
    EXPECT_EQ(sh(quick, "cat /dev/zero & cat /dev/zero & exec cat /dev/zero"), std::nullopt);
    ProcessToolRunner small(60s, 1u << 20);
    EXPECT_EQ(sh(small, "exec cat /dev/zero"), std::nullopt);  // only the output limit ends it
    EXPECT_TRUE(noChildrenLeft());
}
