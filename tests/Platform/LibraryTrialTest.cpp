#include "Platform/LibraryTrial.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// A helper that acts as `script` says, with the library's path as $1.
std::optional<std::string> triedBy(const testing::TempTree& folder, const std::string& script,
                                   std::chrono::milliseconds limit = 10s) {
    const auto helper = folder.write("helper", "#!/bin/sh\n" + script + "\n");
    ::chmod(helper.c_str(), 0755);
    return HelperLibraryTrial(helper, limit).defect(folder.file("library.so"));
}

TEST(LibraryTrialTest, OnlyACleanLoadOrACleanRefusalPassesACrashAHangOrAnotherEndIsADefect) {
    testing::TempTree folder;
    EXPECT_EQ(triedBy(folder, "test \"$1\" = " + folder.file("library.so") + " && exit 0; exit 9"), std::nullopt);
    EXPECT_EQ(triedBy(folder, "exit 3"), std::nullopt);  // dlopen refuses it by itself
    EXPECT_EQ(triedBy(folder, "kill -SEGV $$"),
              "it crashed while it loaded, tried in a process of its own (signal 11, SIGSEGV)");
    // A sanitizer reports a crash and exits 1.
    EXPECT_EQ(triedBy(folder, "exit 1"), "it failed while it loaded, tried in a process of its own (exit status 1)");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(triedBy(folder, "exec sleep 30", 300ms),
              "it did not finish loading within 300 ms, tried in a process of its own");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    const auto missing = HelperLibraryTrial(folder.file("no-helper")).defect(folder.file("library.so"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, "it could not be tried first: " + folder.file("no-helper") + ": No such file or directory");
}

}  // namespace
}  // namespace ostrel
