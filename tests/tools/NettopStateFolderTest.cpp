// Where ostrel-nettop keeps its state when another account is about: the user's own private
// folders come before the shared one, and a shared folder that another account made first turns
// the per-application split off, which the system log is told once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Platform/support/OtherAccount.hpp"
#include "Platform/support/TempTree.hpp"
#include "TrafficState.hpp"

namespace ostrel::nettop {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;

TEST(NettopStateFolderTest, WithoutXdgRuntimeDirTheUsersOwnPrivateRuntimeFolderIsTaken) {
    TempTree run;
    const auto uid = ::getuid();
    const auto own = run.file(std::to_string(uid));
    EXPECT_EQ(ownRuntimeDir("/from/environment", run.root, uid), "/from/environment");
    EXPECT_EQ(ownRuntimeDir("", run.root, uid), "");  // no such folder
    ASSERT_EQ(::mkdir(own.c_str(), 0755), 0);
    EXPECT_EQ(ownRuntimeDir("", run.root, uid), "");  // others may enter it
    ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
    EXPECT_EQ(ownRuntimeDir("", run.root, uid), own);

    // It comes before the shared folder, which would be taken otherwise.
    TempTree shared;
    std::string why;
    EXPECT_EQ(stateDirectory("", ownRuntimeDir("", run.root, uid), shared.root, uid, why), own + "/ostrel");
    EXPECT_FALSE(fs::exists(shared.file("ostrel-nettop-" + std::to_string(uid))));
}

class NettopSharedFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!other.available()) GTEST_SKIP() << "another account's folders need root, to make that account";
        fs::permissions(shared.root, fs::perms(01777));  // as /tmp
    }

    // Made by the other account, in the shared folder.
    void madeByTheOther(const std::string& entry, bool folder) {
        const auto path = shared.file(entry);
        ASSERT_EQ(other.run([&]() -> int {
            return folder ? ::mkdir(path.c_str(), 0755) : ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0644));
        }),
                  0);
    }

    testing::OtherAccount other;
    TempTree shared;
    const uid_t uid = ::getuid();
    const std::string name = "ostrel-nettop-" + std::to_string(uid);
};

TEST_F(NettopSharedFolderTest, AFolderAnotherAccountMadeFirstIsRefusedAndTheSystemLogIsToldOnce) {
    madeByTheOther(name, true);
    std::string why;
    EXPECT_EQ(stateDirectory("", "", shared.root, uid, why), std::nullopt);
    EXPECT_EQ(why, "not a private folder of this user: " + shared.file(name));

    EXPECT_TRUE(tellUnusableStateOnce(shared.root, uid));
    EXPECT_FALSE(tellUnusableStateOnce(shared.root, uid));
    EXPECT_FALSE(tellUnusableStateOnce(shared.root, uid));
    // Once a folder can be used again, the next time the split goes off is told too.
    forgetToldUnusableState(shared.root, uid);
    EXPECT_TRUE(tellUnusableStateOnce(shared.root, uid));
}

TEST_F(NettopSharedFolderTest, AMarkAnotherAccountPutInPlaceKeepsNothingFromBeingTold) {
    madeByTheOther(name + ".told", false);
    EXPECT_TRUE(tellUnusableStateOnce(shared.root, uid));
    EXPECT_TRUE(tellUnusableStateOnce(shared.root, uid));
    forgetToldUnusableState(shared.root, uid);  // not the user's own to remove
    EXPECT_TRUE(fs::exists(shared.file(name + ".told")));
}

// The tool itself, run as the other account with no usable folder of its own: the folder this
// user made first in the shared place is no state folder of the other's either, and what the tool
// makes of its own is the other account's alone.
TEST_F(NettopSharedFolderTest, TheToolsOwnStateIsPrivate) {
    TempTree home;
    fs::permissions(home.root, fs::perms(0755));
    const auto state = home.file("state");
    ASSERT_EQ(::chown(home.root.c_str(), other.uid(), other.gid()), 0);
    const auto command = std::string("env -i XDG_STATE_HOME=") + state + " TMPDIR=" + shared.root +
                         " setpriv --reuid=" + std::to_string(other.uid()) + " --regid=" +
                         std::to_string(other.gid()) + " --clear-groups " + OSTREL_NETTOP_PATH + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(state)) {
        struct stat info {};
        ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
        if (S_ISSOCK(info.st_mode)) continue;  // the listener's address, in a folder only its owner enters
        EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700u : 0600u) << entry.path();
        files.push_back(entry.path().filename());
    }
    EXPECT_FALSE(files.empty());
    EXPECT_FALSE(fs::exists(shared.file("ostrel-nettop-" + std::to_string(other.uid()))));
}

}  // namespace
}  // namespace ostrel::nettop
