#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "Platform/ProcRunningApplications.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// A child process that lives until the test ends, with only the given environment (plus one
// variable, so that it is never empty).
struct Child {
    Child(const std::string& program, std::vector<std::string> arguments,
          const std::map<std::string, std::string>& environment) {
        arguments.insert(arguments.begin(), program);
        std::vector<std::string> variables{"OSTREL_TEST_CHILD=1"};
        for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
        std::vector<char*> argv, envp;
        for (auto& text : arguments) argv.push_back(text.data());
        for (auto& text : variables) envp.push_back(text.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) pid = -1;
        // The parent of a spawn resumes before the kernel has laid out the new program's environment.
        const auto environFile = "/proc/" + std::to_string(pid) + "/environ";
        for (int i = 0; pid > 0 && i < 2000 && std::ifstream(environFile).peek() == EOF; ++i) ::usleep(1000);
    }
    ~Child() {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid = -1;
};

std::optional<std::string> bundleOf(RunningApplications& apps, int pid) {
    const auto app = apps.applicationWithProcessIdentifier(pid);
    return app ? app->bundleIdentifier : std::nullopt;
}

class ProcRunningApplicationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-apps-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        launched = write("data/applications/org.example.Launched.desktop",
                         "[Desktop Entry]\nType=Application\nName=Launched App\nName[de]=Gestartete App\n"
                         "Exec=/nonexistent/launched %U\n");
        sleeperEntry = write(
            "data/applications/vendor/sleeper.desktop",
            "[Desktop Entry]\nType=Application\nName=Sleeper\nExec=env A=1 " + root + "/bin/ostrel-sleeper --flag\n");
        write("data/applications/org.example.Flat.desktop", "[Desktop Entry]\nType=Application\nName=Flat\n");
        write("data/applications/tool_tool.desktop", "[Desktop Entry]\nType=Application\nName=Snap Tool\n");
        write("data/applications/shell.desktop", "[Desktop Entry]\nType=Application\nName=Shell\nExec=sh -c x\n");
        fs::create_directories(root + "/bin");
        fs::copy_file("/bin/sleep", root + "/bin/ostrel-sleeper");
    }
    void TearDown() override { fs::remove_all(root); }

    std::string write(const std::string& relative, const std::string& content) {
        const auto path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }
    ProcRunningApplications applications(const std::string& locale = "") {
        return ProcRunningApplications("/proc", {root + "/data"}, locale, std::chrono::milliseconds(0));
    }

    std::string root;
    std::string launched;
    std::string sleeperEntry;
};

TEST_F(ProcRunningApplicationsTest, ProcessesAreMatchedByLaunchFileSandboxIdAndExecutable) {
    Child fromLauncher("/bin/sleep", {"30"}, {{"GIO_LAUNCHED_DESKTOP_FILE", launched}});
    Child byExec(root + "/bin/ostrel-sleeper", {"30"}, {});
    Child flatpak("/bin/sleep", {"30"}, {{"FLATPAK_ID", "org.example.Flat"}});
    Child snap("/bin/sleep", {"30"}, {{"SNAP_NAME", "tool"}});
    // The shell stays the process; its sleep must not hold the test runner's output open.
    Child shell("/bin/sh", {"-c", "exec >/dev/null 2>&1; sleep 30; true"}, {});
    Child plain("/bin/sleep", {"30"}, {});
    const auto loose = write("elsewhere/org.example.Loose.desktop", "[Desktop Entry]\nType=Application\nName=Loose\n");
    Child fromLoose("/bin/sleep", {"30"}, {{"GIO_LAUNCHED_DESKTOP_FILE", loose}});
    Child fromMissing(root + "/bin/ostrel-sleeper", {"30"}, {{"GIO_LAUNCHED_DESKTOP_FILE", root + "/gone.desktop"}});
    for (const auto* child : {&fromLauncher, &byExec, &flatpak, &snap, &shell, &plain, &fromLoose, &fromMissing}) {
        ASSERT_GT(child->pid, 0);
    }

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

    std::vector<pid_t> found;
    for (const auto& app : apps.runningApplications()) found.push_back(app.processIdentifier);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
    for (const pid_t pid : {fromLauncher.pid, byExec.pid, flatpak.pid, snap.pid, shell.pid, plain.pid}) {
        const bool application = pid != shell.pid && pid != plain.pid;
        EXPECT_EQ(std::find(found.begin(), found.end(), pid) != found.end(), application) << pid;
    }
}

TEST_F(ProcRunningApplicationsTest, AnInheritedLaunchFileCountsOnlyForTheLaunchedProgram) {
    // Launched from the entry by this test process, but running another program: a shell
    // started from a terminal is not the terminal.
    Child other(
        "/bin/sleep", {"30"},
        {{"GIO_LAUNCHED_DESKTOP_FILE", launched}, {"GIO_LAUNCHED_DESKTOP_FILE_PID", std::to_string(::getpid())}});
    ASSERT_GT(other.pid, 0);
    auto apps = applications();
    EXPECT_EQ(apps.applicationWithProcessIdentifier(other.pid), std::nullopt);

    // A helper running the launched program's own executable belongs to it.
    Child launchedSleeper("/bin/sleep", {"30"}, {{"GIO_LAUNCHED_DESKTOP_FILE", launched}});
    ASSERT_GT(launchedSleeper.pid, 0);
    Child helper("/bin/sleep", {"30"},
                 {{"GIO_LAUNCHED_DESKTOP_FILE", launched},
                  {"GIO_LAUNCHED_DESKTOP_FILE_PID", std::to_string(launchedSleeper.pid)}});
    ASSERT_GT(helper.pid, 0);
    EXPECT_EQ(bundleOf(apps, helper.pid), "org.example.Launched");
}

TEST_F(ProcRunningApplicationsTest, TheListIsReusedWithinItsLifetimeOnly) {
    ProcRunningApplications cached("/proc", {root + "/data"}, "", std::chrono::hours(1));
    const auto before = cached.runningApplications();
    Child started(root + "/bin/ostrel-sleeper", {"30"}, {});
    ASSERT_GT(started.pid, 0);
    EXPECT_EQ(cached.runningApplications(), before);
    // The look-up by process identifier is always fresh.
    EXPECT_EQ(bundleOf(cached, started.pid), "vendor-sleeper");

    auto fresh = applications();
    const auto after = fresh.runningApplications();
    EXPECT_TRUE(
        std::any_of(after.begin(), after.end(), [&](const auto& app) { return app.processIdentifier == started.pid; }));
}

}  // namespace
}  // namespace ostrel
