#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fsuid.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Platform/UniqueFd.hpp"
#include "Platform/XdgAutostartItem.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/LoginItemService.hpp"

namespace fs = std::filesystem;

namespace ostrel {
namespace {

using testing::TempTree;

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

TEST(LoginItemServiceTest, TheEntryStartsTheProgramThroughTheDesktopsLauncherAndGoesAwayWhenTurnedOff) {
    TempTree tree;
    const auto program = tree.root + "/bin dir $`\"\\ x/ostrel";  // each character Exec's quoting escapes
    const auto started = tree.root + "/started";
    tree.write(fs::path(program).lexically_relative(tree.root), "#!/bin/sh\necho \"$0\" > " + started + "\n");
    fs::permissions(program, fs::perms::owner_all);
    const auto autostart = tree.root + "/config/autostart", entry = autostart + "/com.ostrel.Ostrel.desktop";
    LoginItemService service(std::make_shared<XdgAutostartItem>(autostart, program));

    service.setLaunchAtLogin(false);  // never on: nothing to remove
    service.setLaunchAtLogin(true);
    service.setLaunchAtLogin(true);  // again, over the first
    EXPECT_EQ(namesIn(autostart), std::vector<std::string>{"com.ostrel.Ostrel.desktop"});
    EXPECT_EQ(fs::status(autostart).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(entry).permissions(), fs::perms(0644));
    std::ostringstream content;
    content << std::ifstream(entry).rdbuf();
    EXPECT_EQ(content.str(), "[Desktop Entry]\nType=Application\nName=Ostrel\nExec=\"" + tree.root +
                                 "/bin dir \\\\$\\\\`\\\\\"\\\\\\\\ x/ostrel\"\nTerminal=false\n");
    EXPECT_NE(XdgAutostartItem::desktopEntryText("/opt/50%/o").find("\nExec=\"/opt/50%%/o\"\n"), std::string::npos);

    ASSERT_EQ(::mkfifo(started.c_str(), 0600), 0);
    const UniqueFd fifo(::open(started.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    // GLib makes its cache folder: the test's own, not the user's.
    std::string launch = "XDG_CACHE_HOME=";
    launch += tree.root + "/cache gio launch " + entry + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(launch.c_str()), 0) << "gio (libglib2.0-bin)";
    pollfd ready{fifo.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 60000), 1);
    char line[4096];
    EXPECT_EQ(std::string(line, std::max<ssize_t>(::read(fifo.get(), line, sizeof line), 0)), program + "\n");

    service.setLaunchAtLogin(false);
    EXPECT_TRUE(namesIn(autostart).empty());
}

TEST(LoginItemServiceTest, AnEntryThatCannotBeWrittenOrRemovedGivesTheErrorAndLeavesNothingBehind) {
    struct Case {
        const char* prepare;  // shell commands in the configuration folder
        const char* program;
        const char *registerError, *unregisterError;  // the ends of the errors; none: no error
    };
    const Case cases[] = {
        {"touch autostart", "/usr/bin/ostrel", "autostart: Not a directory", nullptr},
        {"mkdir -p autostart/com.ostrel.Ostrel.desktop/x", "/usr/bin/ostrel", "Is a directory", "Is a directory"},
        {"mkdir autostart && touch autostart/com.ostrel.Ostrel.desktop && chmod 555 autostart", "/usr/bin/ostrel",
         "com.ostrel.Ostrel.desktop: Permission denied", "com.ostrel.Ostrel.desktop: Permission denied"},
        {"true", "ostrel", "cannot start the program at ostrel", nullptr},
        {"true", "/opt/o\xffstrel", "cannot start the program at /opt/o\xffstrel", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prepare);
        TempTree tree;
        // Root passes every permission check, so the files go to nobody, as whom they are used.
        const auto asNobody = ::geteuid() == 0;
        ASSERT_EQ(
            std::system(("cd " + tree.root + " && " + c.prepare + (asNobody ? " && chown -R 65534 ." : "")).c_str()),
            0);
        LoginItemService service(std::make_shared<XdgAutostartItem>(tree.root + "/autostart", c.program));
        if (asNobody) ::setfsuid(65534);
        for (const auto& [enabled, error] : {std::pair{true, c.registerError}, std::pair{false, c.unregisterError}}) {
            std::string message;
            try {
                service.setLaunchAtLogin(enabled);
            } catch (const LoginItemError& failure) {
                message = failure.what();
            }
            EXPECT_TRUE(error ? message.ends_with(error) : message.empty()) << message;
        }
        if (asNobody) ::setfsuid(0);
        if (fs::is_directory(tree.root + "/autostart")) {
            EXPECT_EQ(namesIn(tree.root + "/autostart"), std::vector<std::string>{"com.ostrel.Ostrel.desktop"});
            fs::permissions(tree.root + "/autostart", fs::perms::owner_all);
        }
    }
}

}  // namespace
}  // namespace ostrel
