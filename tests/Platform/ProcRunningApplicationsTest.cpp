#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "Platform/ProcRunningApplications.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// A child process that lives until the test ends, with only the given "NAME=value" environment
// (plus one variable, so that it is never empty). It leads its own process group, so that ending
// the group also ends whatever it started.
struct Child {
    explicit Child(std::vector<std::string> environment = {}, const std::string& program = "/bin/sleep",
                   std::vector<std::string> arguments = {"30"}) {
        arguments.insert(arguments.begin(), program);
        environment.push_back("OSTREL_TEST_CHILD=1");
        std::vector<char*> argv, envp;
        for (auto& text : arguments) argv.push_back(text.data());
        for (auto& text : environment) envp.push_back(text.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        if (posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), envp.data()) != 0) {
            pid = -1;
            ADD_FAILURE() << "cannot start " << program;
        }
        posix_spawnattr_destroy(&attributes);
        // The parent of a spawn resumes before the kernel has laid out the new program's
        // environment; a look-up before then finds no launch record, so a child that is not
        // ready fails here rather than as a wrong look-up.
        const auto environFile = "/proc/" + std::to_string(pid) + "/environ";
        for (int wait = 0; pid > 0 && std::ifstream(environFile).peek() == EOF; ++wait) {
            if (::waitpid(pid, nullptr, WNOHANG) != 0) {
                ADD_FAILURE() << program << " ended at its start";
                pid = -1;
            } else if (wait == 10000) {
                ADD_FAILURE() << program << " laid out no environment";
                break;
            }
            ::usleep(1000);
        }
    }
    ~Child() {
        if (pid > 0) ::kill(-pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }

    pid_t pid = -1;
};

std::optional<std::string> bundleOf(RunningApplications& apps, int pid) {
    const auto app = apps.applicationWithProcessIdentifier(pid);
    return app ? app->bundleIdentifier : std::nullopt;
}

class ProcRunningApplicationsTest : public ::testing::Test, public testing::TempTree {
protected:
    ProcRunningApplicationsTest() {
        app("data/applications/org.example.Flat.desktop", "Flat");
        app("data/applications/tool_tool.desktop", "Snap Tool");
        app("data/applications/shell.desktop", "Shell", "Exec=sh -c x\n");
        fs::create_directories(root + "/bin");
        fs::copy_file("/bin/sleep", sleeper);
        fs::copy_file("/bin/sleep", commandLine);
    }
    ProcRunningApplications applications(const std::string& locale = "") {
        return ProcRunningApplications("/proc", {root + "/data"}, locale, std::chrono::milliseconds(0));
    }

    const std::string launched = app("data/applications/org.example.Launched.desktop", "Launched App",
                                     "Name[de]=Gestartete App\nExec=/nonexistent/launched %U\n");
    const std::string sleeper = root + "/bin/ostrel-sleeper";
    const std::string sleeperEntry =
        app("data/applications/vendor/sleeper.desktop", "Sleeper", "Exec=env A=1 " + sleeper + " --flag\n");
    // A command-line program with entries of its own, as Debian gives Python.
    const std::string commandLine = root + "/bin/ostrel-cli";
    const std::string terminalEntry =
        app("data/applications/cli-terminal.desktop", "CLI", "Exec=" + commandLine + "\nTerminal=true\n");
    const std::string hiddenEntry =
        app("data/applications/cli-hidden.desktop", "CLI", "Exec=" + commandLine + " -x\nNoDisplay=true\n");
};

TEST_F(ProcRunningApplicationsTest, ProcessesAreMatchedByLaunchFileSandboxIdAndExecutable) {
    Child fromLauncher({"GIO_LAUNCHED_DESKTOP_FILE=" + launched});
    Child byExec({}, sleeper);
    Child flatpak({"FLATPAK_ID=org.example.Flat"});
    Child snap({"SNAP_NAME=tool"});
    // The shell stays the process; its sleep must not hold the test runner's output open.
    Child shell({}, "/bin/sh", {"-c", "exec >/dev/null 2>&1; sleep 30; true"});
    Child plain;
    Child fromLoose({"GIO_LAUNCHED_DESKTOP_FILE=" + app("elsewhere/org.example.Loose.desktop", "Loose")});
    Child fromMissing({"GIO_LAUNCHED_DESKTOP_FILE=" + root + "/gone.desktop"}, sleeper);
    Child commandLineAlone({}, commandLine);
    Child fromTerminalEntry({"GIO_LAUNCHED_DESKTOP_FILE=" + terminalEntry}, commandLine);
    Child fromHiddenEntry({"GIO_LAUNCHED_DESKTOP_FILE=" + hiddenEntry}, commandLine);

    auto apps = applications("de_DE.UTF-8");
    EXPECT_EQ(apps.applicationWithProcessIdentifier(fromLauncher.pid),
              (RunningApplication{fromLauncher.pid, "org.example.Launched", "Gestartete App", launched}));
    EXPECT_EQ(apps.applicationWithProcessIdentifier(byExec.pid),
              (RunningApplication{byExec.pid, "vendor-sleeper", "Sleeper", sleeperEntry}));
    EXPECT_EQ(bundleOf(apps, flatpak.pid), "org.example.Flat");
    EXPECT_EQ(apps.applicationWithProcessIdentifier(snap.pid).value_or(RunningApplication{}).localizedName,
              "Snap Tool");
    EXPECT_EQ(apps.applicationWithProcessIdentifier(shell.pid), std::nullopt);
    EXPECT_EQ(apps.applicationWithProcessIdentifier(plain.pid), std::nullopt);
    EXPECT_EQ(apps.applicationWithProcessIdentifier(-5), std::nullopt);
    // A launch file outside the data folders counts; a missing one falls through to the executable.
    EXPECT_EQ(bundleOf(apps, fromLoose.pid), "org.example.Loose");
    EXPECT_EQ(bundleOf(apps, fromMissing.pid), "vendor-sleeper");
    // Terminal and NoDisplay entries name a program only when it was launched from them.
    EXPECT_EQ(apps.applicationWithProcessIdentifier(commandLineAlone.pid), std::nullopt);
    EXPECT_EQ(bundleOf(apps, fromTerminalEntry.pid), "cli-terminal");
    EXPECT_EQ(bundleOf(apps, fromHiddenEntry.pid), "cli-hidden");

    std::vector<pid_t> found;
    for (const auto& app : apps.runningApplications()) found.push_back(app.processIdentifier);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
    for (const pid_t pid :
         {fromLauncher.pid, byExec.pid, flatpak.pid, snap.pid, shell.pid, plain.pid, commandLineAlone.pid}) {
        const bool application = pid != shell.pid && pid != plain.pid && pid != commandLineAlone.pid;
        EXPECT_EQ(std::find(found.begin(), found.end(), pid) != found.end(), application) << pid;
    }
}

TEST_F(ProcRunningApplicationsTest, AnInheritedLaunchFileCountsOnlyForTheLaunchedProgram) {
    // Launched from the entry by this test process, but running another program: a shell
    // started from a terminal is not the terminal.
    const std::string fromEntry = "GIO_LAUNCHED_DESKTOP_FILE=" + launched, byPid = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    Child other({fromEntry, byPid + std::to_string(::getpid())});
    auto apps = applications();
    EXPECT_EQ(apps.applicationWithProcessIdentifier(other.pid), std::nullopt);

    // A helper running the launched program's own executable belongs to it.
    Child launchedSleeper({fromEntry});
    Child helper({fromEntry, byPid + std::to_string(launchedSleeper.pid)});
    EXPECT_EQ(bundleOf(apps, helper.pid), "org.example.Launched");
}

TEST_F(ProcRunningApplicationsTest, TheListIsReusedWithinItsLifetimeOnly) {
    ProcRunningApplications cached("/proc", {root + "/data"}, "", std::chrono::hours(1));
    const auto before = cached.runningApplications();
    Child started({}, sleeper);
    EXPECT_EQ(cached.runningApplications(), before);
    // The look-up by process identifier is always fresh.
    EXPECT_EQ(bundleOf(cached, started.pid), "vendor-sleeper");

    const auto after = applications().runningApplications();
    EXPECT_TRUE(
        std::any_of(after.begin(), after.end(), [&](const auto& app) { return app.processIdentifier == started.pid; }));
}

// The list keeps what it found for a process while the process runs the same program, and reads
// it again after an exec, or when the applications changed.
TEST_F(ProcRunningApplicationsTest, AProcessIsReadAgainWhenItRunsAnotherProgramOrTheApplicationsChanged) {
    const auto go = file("go");
    Child changing(
        {}, "/bin/sh",
        {"-c", "exec >/dev/null 2>&1; while [ ! -e " + go + " ]; do sleep 0.01; done; exec " + sleeper + " 30"});
    auto apps = applications();  // a list of its own each time
    const auto listed = [&]() -> std::optional<std::string> {
        for (const auto& app : apps.runningApplications()) {
            if (app.processIdentifier == changing.pid) return app.bundleIdentifier;
        }
        return std::nullopt;
    };
    EXPECT_EQ(listed(), std::nullopt);  // a shell is no application
    EXPECT_EQ(bundleOf(apps, changing.pid), std::nullopt);
    EXPECT_EQ(listed(), std::nullopt);

    write("go", "");
    const auto exe = "/proc/" + std::to_string(changing.pid) + "/exe";
    std::error_code error;
    for (int wait = 0; fs::read_symlink(exe, error) != sleeper && wait < 60000; ++wait) ::usleep(1000);
    EXPECT_EQ(bundleOf(apps, changing.pid), "vendor-sleeper");
    EXPECT_EQ(listed(), "vendor-sleeper");

    // An entry for the same program that comes first.
    app("data/applications/a-sleeper.desktop", "A Sleeper", "Exec=" + sleeper + "\n");
    EXPECT_EQ(bundleOf(apps, changing.pid), "a-sleeper");
    EXPECT_EQ(listed(), "a-sleeper");
}

}  // namespace
}  // namespace ostrel
