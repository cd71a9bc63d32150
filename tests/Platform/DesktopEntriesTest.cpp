#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Platform/DesktopEntries.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

class DesktopEntriesTest : public ::testing::Test, public testing::TempTree {};

TEST_F(DesktopEntriesTest, ReadsTheMainGroupOnlyWithEscapesAndTheFirstOfARepeatedKey) {
    const auto path = write("a.desktop",
                            "# comment\n"
                            "[Desktop Action new]\nName=Not This\n"
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name = Photo\\sEditor \n"
                            "Name=Second\n"
                            "Exec=\"/opt/My Apps/photo\" --open %U\n"
                            "Icon=photo-editor\n"
                            "[Other]\nExec=/bin/other\n");
    const auto entry = parseDesktopFile(path, "a", "").value();
    EXPECT_EQ(entry.name, "Photo Editor");
    EXPECT_EQ(entry.execProgram, "/opt/My Apps/photo");
    EXPECT_EQ(entry.icon, "photo-editor");

    EXPECT_FALSE(parseDesktopFile(write("link.desktop", "[Desktop Entry]\nType=Link\nName=L\n"), "link", ""));
    EXPECT_FALSE(parseDesktopFile(app("h.desktop", "H", "Hidden=true\n"), "h", ""));
    EXPECT_FALSE(parseDesktopFile(root + "/missing.desktop", "missing", ""));
    const auto bare =
        parseDesktopFile(write("n.desktop", "[Desktop Entry]\nType=Application\nIcon=\n"), "n", "").value();
    EXPECT_EQ(bare.name, std::nullopt);
    EXPECT_EQ(bare.icon, std::nullopt);
}

TEST_F(DesktopEntriesTest, ExecProgramSkipsEnvAndNeverNamesAShell) {
    const auto program = [&](const std::string& exec) {
        return parseDesktopFile(app("p.desktop", "P", "Exec=" + exec + "\n"), "p", "").value().execProgram;
    };
    EXPECT_EQ(program("env GDK_BACKEND=x11 -u FOO /usr/bin/tool %f"), "/usr/bin/tool");
    EXPECT_EQ(program("/usr/bin/env A=1 tool"), "tool");
    EXPECT_EQ(program("sh -c \"tool --x\""), "");
    EXPECT_EQ(program("/bin/bash script.sh"), "");
    EXPECT_EQ(program("\"/opt/a \\\"b\\\"/run\""), "/opt/a \"b\"/run");
    EXPECT_EQ(program(""), "");
}

TEST_F(DesktopEntriesTest, NamesFollowTheLocaleFromMostToLeastSpecific) {
    const auto path = app("l.desktop", "Maps", "Name[de]=Karten\nName[de_CH]=Karte CH\nName[sr@latin]=Mape\n");
    const auto name = [&](const std::string& locale) { return parseDesktopFile(path, "l", locale).value().name; };
    EXPECT_EQ(name("de_CH.UTF-8"), "Karte CH");
    EXPECT_EQ(name("de_AT.UTF-8"), "Karten");
    EXPECT_EQ(name("sr_RS.UTF-8@latin"), "Mape");
    for (const char* other : {"fr_FR.UTF-8", "C", ""}) EXPECT_EQ(name(other), "Maps") << other;
}

TEST_F(DesktopEntriesTest, EarlierFoldersWinAndSubfoldersJoinTheIdWithHyphens) {
    app("home/applications/org.example.Tool.desktop", "Mine", "Exec=tool\n");
    app("system/applications/org.example.Tool.desktop", "System", "Exec=tool\n");
    app("home/applications/gone.desktop", "Gone", "Hidden=true\n");
    app("system/applications/gone.desktop", "Gone", "Exec=gone\n");
    const auto nested = app("system/applications/kde/konsole.desktop", "Konsole", "Exec=/usr/bin/konsole\n");
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
    app("data/applications/first.desktop", "First");
    DesktopEntries entries({root + "/data", root + "/later"}, "");
    EXPECT_FALSE(entries.byId("first"));  // nothing read before the first refresh
    entries.refresh();
    EXPECT_TRUE(entries.byId("first"));
    // Written at once after the scan, within the same tick of the file clock.
    app("data/applications/sub/second.desktop", "Second");
    app("later/applications/third.desktop", "Third");
    EXPECT_FALSE(entries.byId("third"));
    entries.refresh();
    EXPECT_EQ(entries.byId("sub-second").value_or(DesktopEntry{}).name, "Second");
    EXPECT_EQ(entries.byId("third").value_or(DesktopEntry{}).name, "Third");

    const auto loose = app("elsewhere/org.example.Loose.desktop", "Loose");
    EXPECT_EQ(entries.byPath(loose).value_or(DesktopEntry{}).id, "org.example.Loose");
    EXPECT_EQ(entries.byPath(root + "/elsewhere/notes.txt"), std::nullopt);
    // Named by another process's environment: a FIFO or a device must not block or flood the reader.
    ASSERT_EQ(::mkfifo((root + "/fifo.desktop").c_str(), 0600), 0);
    EXPECT_EQ(entries.byPath(root + "/fifo.desktop"), std::nullopt);
    std::filesystem::create_symlink("/dev/zero", root + "/zero.desktop");
    EXPECT_EQ(entries.byPath(root + "/zero.desktop"), std::nullopt);
}

}  // namespace
}  // namespace ostrel
