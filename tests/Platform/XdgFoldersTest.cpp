#include "Platform/XdgFolders.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/DesktopEntries.hpp"
#include "Platform/XdgAutostartItem.hpp"

namespace ostrel {
namespace {

using Environment = std::map<std::string, std::string>;

XdgFolders folders(const Environment& environment) {
    return XdgFolders([environment](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    });
}

TEST(XdgFoldersTest, RelativeOrEmptyValuesCountAsUnsetAndSoDoesARelativeHome) {
    const struct {
        const char* label;
        Environment environment;
        std::string data, config, state, runtime;
    } cases[] = {
        {"absolute values", {{"HOME", "/h"}, {"XDG_DATA_HOME", "/d"}, {"XDG_CONFIG_HOME", "/c"},
                             {"XDG_STATE_HOME", "/s"}, {"XDG_RUNTIME_DIR", "/r"}},
         "/d", "/c", "/s", "/r"},
        {"relative values", {{"HOME", "/h"}, {"XDG_DATA_HOME", "d"}, {"XDG_CONFIG_HOME", "./c"},
                             {"XDG_STATE_HOME", "~/s"}, {"XDG_RUNTIME_DIR", "r"}},
         "/h/.local/share", "/h/.config", "/h/.local/state", ""},
        {"empty values", {{"HOME", "/h"}, {"XDG_DATA_HOME", ""}, {"XDG_CONFIG_HOME", ""},
                          {"XDG_STATE_HOME", ""}, {"XDG_RUNTIME_DIR", ""}},
         "/h/.local/share", "/h/.config", "/h/.local/state", ""},
        {"unset", {{"HOME", "/h"}}, "/h/.local/share", "/h/.config", "/h/.local/state", ""},
        {"a relative home", {{"HOME", "h"}, {"XDG_DATA_HOME", "d"}}, "", "", "", ""},
        {"no home", {}, "", "", "", ""},
    };
    for (const auto& [label, environment, data, config, state, runtime] : cases) {
        SCOPED_TRACE(label);
        const auto xdg = folders(environment);
        EXPECT_EQ(xdg.dataHome(), data);
        EXPECT_EQ(xdg.configHome(), config);
        EXPECT_EQ(xdg.stateHome(), state);
        EXPECT_EQ(xdg.runtimeDir(), runtime);
    }
}

TEST(XdgFoldersTest, DataDirsKeepOnlyAbsoluteEntriesAndFallBackWhenNoneIsLeft) {
    const std::vector<std::string> defaults{"/usr/local/share", "/usr/share"};
    EXPECT_EQ(folders({}).dataDirs(), defaults);
    EXPECT_EQ(folders({{"XDG_DATA_DIRS", ""}}).dataDirs(), defaults);
    EXPECT_EQ(folders({{"XDG_DATA_DIRS", "rel:./x::"}}).dataDirs(), defaults);
    EXPECT_EQ(folders({{"XDG_DATA_DIRS", ":/a:rel::/b/c:"}}).dataDirs(), (std::vector<std::string>{"/a", "/b/c"}));
}

// Every user of the folders reads them the same way: a relative XDG_DATA_HOME was once used for
// the desktop entries while the database ignored it.
TEST(XdgFoldersTest, TheProcessWideReadersIgnoreRelativeValues) {
    const auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return std::pair<std::string, std::optional<std::string>>(name, value ? std::optional<std::string>(value)
                                                                               : std::nullopt);
    };
    const std::vector saved = {keep("HOME"), keep("XDG_DATA_HOME"), keep("XDG_CONFIG_HOME"), keep("XDG_DATA_DIRS")};
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("XDG_DATA_DIRS", "relative/dirs:/opt/share", 1);
    EXPECT_EQ(DesktopEntries::dataDirsFromEnvironment(),
              (std::vector<std::string>{"/home/someone/.local/share", "/opt/share"}));
    EXPECT_EQ(XdgAutostartItem::autostartDirFromEnvironment(), "/home/someone/.config/autostart");
    for (const auto& [name, value] : saved) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
}

}  // namespace
}  // namespace ostrel
