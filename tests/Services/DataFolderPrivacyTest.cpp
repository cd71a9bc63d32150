// The data folder is the user's alone. Another account on the same machine, with a home folder
// that others may enter (0755), could otherwise read every sample, and hold read locks on the
// database that stop the next start ("already running") or its writes ("database is locked").
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Platform/support/OtherAccount.hpp"
#include "Services/support/DataServiceRig.hpp"

namespace ostrel {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 01000000;
}

class DataFolderPrivacyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(rig.folder.root.c_str(), 0755);  // a home folder others may enter
    }

    // What of `paths` the other account can open: what it reads, and what it may lock.
    std::vector<std::string> reachedBy(const testing::OtherAccount& other, const std::vector<std::string>& paths) {
        std::vector<std::string> reached;
        for (const auto& path : paths) {
            const int opened = other.run([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) >= 0; });
            EXPECT_GE(opened, 0) << "the other account could not be taken on";
            if (opened == 1) reached.push_back(path);
        }
        return reached;
    }

    testing::DataServiceRig rig;
    const std::string folder = rig.dataHome + "/Ostrel";
};

TEST_F(DataFolderPrivacyTest, FoldersMadeForTheDatabaseAre0700AndItsFiles0600WhatWasThereIsLeftAlone) {
    rig.start();
    const std::vector<std::string> files = {rig.databasePath, rig.databasePath + "-wal", rig.databasePath + "-shm"};
    // The data home and the folder above it did not exist; the temporary folder did.
    for (const auto& made : {rig.folder.root + "/data home", rig.dataHome, folder}) EXPECT_EQ(modeOf(made), 0700u) << made;
    for (const auto& file : files) EXPECT_EQ(modeOf(file), 0600u) << file;
    EXPECT_EQ(modeOf(rig.folder.root), 0755u);

    testing::OtherAccount other;
    if (!other.available()) GTEST_SKIP() << "another account's attempts need root, to make that account";
    std::vector<std::string> all = files;
    all.push_back(folder);
    EXPECT_EQ(reachedBy(other, all), std::vector<std::string>{});
}

TEST_F(DataFolderPrivacyTest, AnOpenFolderAndFilesOfTheUsersOwnAreNarrowedAtStartAnotherAccountsAreNot) {
    rig.start();
    rig.releaseService();
    // As an earlier version left them.
    for (const auto& path : {rig.folder.root + "/data home", rig.dataHome, folder}) ::chmod(path.c_str(), 0755);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const auto path = rig.databasePath + suffix;
        ::close(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
        ::chmod(path.c_str(), 0644);
    }
    testing::OtherAccount other;
    const std::string theirs = folder + "/theirs";
    ::mkdir(theirs.c_str(), 0755);
    if (other.available()) {
        ASSERT_EQ(::chown(theirs.c_str(), other.uid(), other.gid()), 0);
    }

    rig.start();
    EXPECT_EQ(modeOf(folder), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) EXPECT_EQ(modeOf(rig.databasePath + suffix), 0600u) << suffix;
    // The data home's folders were there already: the user's to set.
    EXPECT_EQ(modeOf(rig.dataHome), 0755u);
    EXPECT_EQ(modeOf(theirs), 0755u);

    if (!other.available()) GTEST_SKIP() << "another account's attempts need root, to make that account";
    EXPECT_EQ(reachedBy(other, {folder, rig.databasePath, rig.databasePath + "-shm"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace ostrel
