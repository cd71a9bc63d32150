#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "Platform/DesktopEntries.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-desktop-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(root); }

    std::string write(const std::string& relative, const std::string& content) {
        const auto path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }

    std::string root;
};

TEST_F(DesktopEntriesTest, ReadsTheMainGroupOnlyWithEscapesAndTheFirstOfARepeatedKey) {
    const auto path = write("a.desktop",
                            "# comment\n"
                            "[Desktop Action new]\nName=Not This\n"
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name = Photo\\sEditor \n"
                            "Name=Second\n"
                            "Exec=\"/opt/My Apps/photo\" --open %U\n"
                            "[Other]\nExec=/bin/other\n");
    const auto entry = parseDesktopFile(path, "a", "");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, "a");
    EXPECT_EQ(entry->path, path);
    EXPECT_EQ(entry->name, "Photo Editor");
    EXPECT_EQ(entry->execProgram, "/opt/My Apps/photo");

    EXPECT_FALSE(parseDesktopFile(write("link.desktop", "[Desktop Entry]\nType=Link\nName=L\n"), "link", ""));
    EXPECT_FALSE(parseDesktopFile(write("h.desktop", "[Desktop Entry]\nType=Application\nHidden=true\n"), "h", ""));
    EXPECT_FALSE(parseDesktopFile(root + "/missing.desktop", "missing", ""));
    const auto noName = parseDesktopFile(write("n.desktop", "[Desktop Entry]\nType=Application\n"), "n", "");
    ASSERT_TRUE(noName);
    EXPECT_EQ(noName->name, std::nullopt);
}

TEST_F(DesktopEntriesTest, ExecProgramSkipsEnvAndNeverNamesAShell) {
    const auto program = [&](const std::string& exec) {
        const auto path = write("p.desktop", "[Desktop Entry]\nType=Application\nName=P\nExec=" + exec + "\n");
        return parseDesktopFile(path, "p", "")->execProgram;
    };
    EXPECT_EQ(program("env GDK_BACKEND=x11 -u FOO /usr/bin/tool %f"), "/usr/bin/tool");
    EXPECT_EQ(program("/usr/bin/env A=1 tool"), "tool");
    EXPECT_EQ(program("sh -c \"tool --x\""), "");
    EXPECT_EQ(program("/bin/bash script.sh"), "");
    EXPECT_EQ(program("\"/opt/a \\\"b\\\"/run\""), "/opt/a \"b\"/run");
    EXPECT_EQ(program(""), "");
}

TEST_F(DesktopEntriesTest, NamesFollowTheLocaleFromMostToLeastSpecific) {
    const auto path = write("l.desktop",
                            "[Desktop Entry]\nType=Application\nName=Maps\nName[de]=Karten\n"
                            "Name[de_CH]=Karte CH\nName[sr@latin]=Mape\n");
    const auto name = [&](const std::string& locale) { return parseDesktopFile(path, "l", locale)->name; };
    EXPECT_EQ(name("de_CH.UTF-8"), "Karte CH");
    EXPECT_EQ(name("de_AT.UTF-8"), "Karten");
    EXPECT_EQ(name("sr_RS.UTF-8@latin"), "Mape");
    EXPECT_EQ(name("fr_FR.UTF-8"), "Maps");
    EXPECT_EQ(name("C"), "Maps");
    EXPECT_EQ(name(""), "Maps");
}

TEST_F(DesktopEntriesTest, EarlierFoldersWinAndSubfoldersJoinTheIdWithHyphens) {
    write("home/applications/org.example.Tool.desktop", "[Desktop Entry]\nType=Application\nName=Mine\nExec=tool\n");
    write("system/applications/org.example.Tool.desktop",
          "[Desktop Entry]\nType=Application\nName=System\nExec=tool\n");
    write("home/applications/gone.desktop", "[Desktop Entry]\nType=Application\nHidden=true\n");
    write("system/applications/gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\n");
    const auto nested = write("system/applications/kde/konsole.desktop",
                              "[Desktop Entry]\nType=Application\nName=Konsole\nExec=/usr/bin/konsole\n");
    DesktopEntries entries({root + "/home", root + "/nowhere", root + "/system"}, "");
    entries.refresh();
    EXPECT_EQ(entries.byId("org.example.Tool").value_or(DesktopEntry{}).name, "Mine");
    EXPECT_EQ(entries.byId("gone"), std::nullopt);
    EXPECT_EQ(entries.byId("kde-konsole").value_or(DesktopEntry{}).path, nested);
    EXPECT_EQ(entries.byPath(nested).value_or(DesktopEntry{}).id, "kde-konsole");
    const auto tools = entries.byProgramName("tool");
    ASSERT_EQ(tools.size(), 1u);
    EXPECT_EQ(tools[0].name, "Mine");
    EXPECT_EQ(entries.byProgramName("konsole").size(), 1u);
    EXPECT_EQ(entries.firstWithIdPrefix("org.example.").value_or(DesktopEntry{}).id, "org.example.Tool");
    EXPECT_EQ(entries.firstWithIdPrefix("zzz"), std::nullopt);
}

TEST_F(DesktopEntriesTest, ARefreshFindsEntriesInstalledSinceTheLastScan) {
    write("data/applications/first.desktop", "[Desktop Entry]\nType=Application\nName=First\n");
    DesktopEntries entries({root + "/data", root + "/later"}, "");
    EXPECT_FALSE(entries.byId("first"));  // nothing read before the first refresh
    entries.refresh();
    EXPECT_TRUE(entries.byId("first"));
    // Written at once after the scan, within the same tick of the file clock.
    write("data/applications/sub/second.desktop", "[Desktop Entry]\nType=Application\nName=Second\n");
    write("later/applications/third.desktop", "[Desktop Entry]\nType=Application\nName=Third\n");
    EXPECT_FALSE(entries.byId("third"));
    entries.refresh();
    EXPECT_EQ(entries.byId("sub-second").value_or(DesktopEntry{}).name, "Second");
    EXPECT_EQ(entries.byId("third").value_or(DesktopEntry{}).name, "Third");

    const auto loose = write("elsewhere/org.example.Loose.desktop", "[Desktop Entry]\nType=Application\nName=Loose\n");
    EXPECT_EQ(entries.byPath(loose).value_or(DesktopEntry{}).id, "org.example.Loose");
    EXPECT_EQ(entries.byPath(root + "/elsewhere/notes.txt"), std::nullopt);
    // Named by another process's environment: a FIFO or a device must not block or flood the reader.
    ASSERT_EQ(::mkfifo((root + "/fifo.desktop").c_str(), 0600), 0);
    EXPECT_EQ(entries.byPath(root + "/fifo.desktop"), std::nullopt);
    fs::create_symlink("/dev/zero", root + "/zero.desktop");
    EXPECT_EQ(entries.byPath(root + "/zero.desktop"), std::nullopt);
}

}  // namespace
}  // namespace ostrel
