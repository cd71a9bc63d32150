#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "Platform/UniqueFd.hpp"
#include "Platform/XdgAutostartItem.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/LoginItemService.hpp"

namespace fs = std::filesystem;

namespace ostrel {
namespace {

using testing::TempTree;

std::string contentOf(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

// Root passes every permission check; for the calling thread, file access is checked as
// nobody's instead while this lives.
struct ActingAsNobody {
    ActingAsNobody() {
        if (::geteuid() == 0) ::setfsuid(65534);
    }
    ~ActingAsNobody() {
        if (::geteuid() == 0) ::setfsuid(0);
    }
};

TEST(LoginItemServiceTest, TheEntryStartsTheProgramThroughTheDesktopsLauncherAndGoesAwayWhenTurnedOff) {
    TempTree tree;
    // Every character that Exec's quoting escapes.
    const auto program = tree.root + "/bin dir $`\"\\ x/ostrel";
    const auto started = tree.root + "/started";
    tree.write(fs::path(program).lexically_relative(tree.root).string(), "#!/bin/sh\necho \"$0\" > " + started + "\n");
    fs::permissions(program, fs::perms::owner_all);
    const auto autostart = tree.root + "/config/autostart";
    const auto entry = autostart + "/com.ostrel.Ostrel.desktop";
    LoginItemService service(std::make_shared<XdgAutostartItem>(autostart, program));

    service.setLaunchAtLogin(false);  // never on: nothing to remove
    service.setLaunchAtLogin(true);
    service.setLaunchAtLogin(true);  // again, over the first
    EXPECT_EQ(namesIn(autostart), std::vector<std::string>{"com.ostrel.Ostrel.desktop"});
    EXPECT_EQ(fs::status(autostart).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(entry).permissions(), fs::perms(0644));
    EXPECT_EQ(contentOf(entry), "[Desktop Entry]\nType=Application\nName=Ostrel\nExec=\"" + tree.root +
                                    "/bin dir \\\\$\\\\`\\\\\"\\\\\\\\ x/ostrel\"\nTerminal=false\n");

    ASSERT_EQ(::mkfifo(started.c_str(), 0600), 0);
    const UniqueFd fifo(::open(started.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_EQ(std::system(("gio launch " + entry + " >/dev/null 2>&1").c_str()), 0) << "gio (libglib2.0-bin)";
    pollfd ready{fifo.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 10000), 1);
    char line[4096];
    const auto count = ::read(fifo.get(), line, sizeof line);
    EXPECT_EQ(std::string(line, static_cast<std::size_t>(std::max<ssize_t>(count, 0))), program + "\n");

    service.setLaunchAtLogin(false);
    EXPECT_TRUE(namesIn(autostart).empty());
}

TEST(LoginItemServiceTest, FoldersAndPathsFollowTheXdgAndDesktopEntryRules) {
    const std::pair<const char*, std::optional<std::string>> programs[] = {
        {"/opt/50%/ostrel", "Exec=\"/opt/50%%/ostrel\"\n"},  // no field code
        {"ostrel", std::nullopt},                            // not absolute
        {"/opt/o\xffstrel", std::nullopt},                   // not UTF-8
        {"/opt/o\nstrel", std::nullopt}};
    for (const auto& [program, exec] : programs) {
        std::optional<std::string> line;
        try {
            const auto text = XdgAutostartItem::desktopEntryText(program);
            const auto start = text.find("Exec=");
            line = text.substr(start, text.find('\n', start) - start + 1);
        } catch (const LoginItemError&) {
        }
        EXPECT_EQ(line, exec) << program;
    }

    struct Environment {
        const char* configHome;
        const char* home;
        const char* autostart;
    };
    for (const auto& [configHome, home, autostart] :
         {Environment{"/cfg", "/home/u", "/cfg/autostart"},
          Environment{nullptr, "/home/u", "/home/u/.config/autostart"},
          Environment{"", "/home/u", "/home/u/.config/autostart"},
          Environment{"cfg", "/home/u", "/home/u/.config/autostart"}, Environment{nullptr, nullptr, ""}}) {
        for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", configHome}, std::pair{"HOME", home}}) {
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        }
        EXPECT_EQ(XdgAutostartItem::autostartDirFromEnvironment(), autostart) << (configHome ? configHome : "unset");
    }
}

TEST(LoginItemServiceTest, AFolderThatCannotTakeTheEntryGivesTheErrorAndLeavesNothingBehind) {
    struct Case {
        const char* name;
        const char* prepare;  // shell commands run in the configuration folder
        bool readOnly;        // checked as nobody's access when running as root
        const char* registerError;
        const char* unregisterError;  // none: unregistering succeeds
    };
    const Case cases[] = {
        {"a file in place of the folder", "touch autostart", false, "Not a directory", nullptr},
        {"a folder in place of the entry", "mkdir -p autostart/com.ostrel.Ostrel.desktop/x", false, "Is a directory",
         "Is a directory"},
        {"a read-only folder", "mkdir autostart && touch autostart/com.ostrel.Ostrel.desktop && chmod 555 autostart",
         true, "Permission denied", "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        fs::permissions(tree.root, fs::perms(0755));
        ASSERT_EQ(std::system(("cd " + tree.root + " && " + c.prepare).c_str()), 0);
        const auto autostart = tree.root + "/autostart";
        LoginItemService service(std::make_shared<XdgAutostartItem>(autostart, "/usr/bin/ostrel"));
        for (const auto& [enabled, error] : {std::pair{true, c.registerError}, std::pair{false, c.unregisterError}}) {
            std::string message;
            try {
                std::optional<ActingAsNobody> nobody;
                if (c.readOnly) nobody.emplace();
                service.setLaunchAtLogin(enabled);
            } catch (const LoginItemError& failure) {
                message = failure.what();
            }
            if (error) {
                EXPECT_NE(message.find(autostart), std::string::npos) << message;
                EXPECT_TRUE(message.ends_with(error)) << message;
            } else {
                EXPECT_EQ(message, "");
            }
        }
        if (fs::is_directory(autostart)) {
            EXPECT_EQ(namesIn(autostart), std::vector<std::string>{"com.ostrel.Ostrel.desktop"});
            fs::permissions(autostart, fs::perms::owner_all);
        }
    }
}

}  // namespace
}  // namespace ostrel
