#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::MenuBarDisplayMode;
using ostrel::NetworkIdentity;
using ostrel::NetworkResolutionState;
using ostrel::NetworkType;
using ostrel::OstrelSettings;
using namespace ostrel::testing;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class OstrelRepositorySettingsTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");
    std::shared_ptr<ostrel::OstrelRepository> repository = openRepository(path);
    DatabaseInspector inspector{path};

    void store(const std::string& key, const std::string& value) {
        inspector.execute("INSERT OR REPLACE INTO settings (key, value) VALUES ('" + key + "', '" + value + "');");
    }
};

TEST_F(OstrelRepositorySettingsTest, SavedSettingsComeBackUnchanged) {
    EXPECT_EQ(repository->loadSettings(), std::nullopt);
    for (auto mode : ostrel::allMenuBarDisplayModes) {
        const OstrelSettings settings{mode, -5, std::numeric_limits<std::int64_t>::min(),
                                      mode != MenuBarDisplayMode::totalToday, mode == MenuBarDisplayMode::compactTotal};
        repository->saveSettings(settings);
        EXPECT_EQ(repository->loadSettings(), settings);
    }
    repository->saveSettings({});
    EXPECT_EQ(inspector.rows("SELECT key, value FROM settings ORDER BY key;"),
              (Rows{{"danger_threshold_bytes", "10737418240"},
                    {"launch_at_login", "0"},
                    {"menu_bar_display_mode", "totalToday"},
                    {"notifications_enabled", "1"},
                    {"warning_threshold_bytes", "5368709120"}}));
}

TEST_F(OstrelRepositorySettingsTest, MissingKeysTakeTheirFallbacks) {
    store("menu_bar_display_mode", "compactTotal");
    store("some_future_key", "whatever");
    const OstrelSettings expected{MenuBarDisplayMode::compactTotal, 5368709120, 10737418240, false, false};
    EXPECT_EQ(repository->loadSettings(), expected);
}

TEST_F(OstrelRepositorySettingsTest, UnreadableStoredTextsReadAsDefaults) {
    struct Case {
        const char* text;
        std::int64_t warning;
    };
    const std::int64_t fallback = 5368709120;
    for (const Case& c : std::vector<Case>{{"12abc", fallback},
                                           {"", fallback},
                                           {"+42", 42},
                                           {"-42", -42},
                                           {"+", fallback},
                                           {"-", fallback},
                                           {"+-5", fallback},
                                           {" 42", fallback},
                                           {"42 ", fallback},
                                           {"4.2", fallback},
                                           {"1e3", fallback},
                                           {"0x10", fallback},
                                           {"9223372036854775807", 9223372036854775807},
                                           {"9223372036854775808", fallback},
                                           {"-9223372036854775809", fallback}}) {
        SCOPED_TRACE(c.text);
        store("warning_threshold_bytes", c.text);
        store("danger_threshold_bytes", c.text);
        store("menu_bar_display_mode", "Compact");
        store("notifications_enabled", "true");
        store("launch_at_login", "01");
        const auto settings = repository->loadSettings();
        ASSERT_TRUE(settings.has_value());
        EXPECT_EQ(settings->warningThresholdBytes, c.warning);
        EXPECT_EQ(settings->dangerThresholdBytes, c.warning == fallback ? 10737418240 : c.warning);
        EXPECT_EQ(settings->menuBarDisplayMode, MenuBarDisplayMode::totalToday);
        EXPECT_FALSE(settings->notificationsEnabled);
        EXPECT_FALSE(settings->launchAtLogin);
    }
}

TEST_F(OstrelRepositorySettingsTest, ActiveNetworkIsTheOnlyActiveRowUntilTheNextBatch) {
    const auto t = localTime("UTC", 2026, 5, 1, 12, 0, 0);
    repository->setActiveNetwork(
        {"wifi-1", "Cafe", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "nl80211", 0.9}, t);
    repository->setActiveNetwork({"eth-1", "Desk", NetworkType::ethernet, true, std::nullopt,
                                  NetworkResolutionState::unavailable, "route", 0.25},
                                 t + std::chrono::seconds(10));
    EXPECT_EQ(
        inspector.rows("SELECT * FROM networks ORDER BY id;"),
        (Rows{{"eth-1", "Desk", "ethernet", "NULL", "unavailable", "route", "0.25", "2026-05-01T12:00:10.000Z", "1"},
              {"wifi-1", "Cafe", "wifi", "wlan0", "resolved", "nl80211", "0.9", "2026-05-01T12:00:00.000Z", "0"}}));

    repository->insertSamples({makeSample("S1", t, "wifi-1", "app", 1, 1)});
    EXPECT_EQ(inspector.rows("SELECT id FROM networks WHERE is_active = 1 ORDER BY id;"),
              (Rows{{"eth-1"}, {"wifi-1"}}));
}

TEST_F(OstrelRepositorySettingsTest, ThresholdEventCarriesNewIdentifierAndCurrentTime) {
    const auto before = std::chrono::floor<std::chrono::milliseconds>(ostrel::currentDate());
    repository->recordThresholdEvent(ostrel::AlertLevel::danger, 123, ostrel::TimeframePreset::monthly, true);
    repository->recordThresholdEvent(ostrel::AlertLevel::warning, -1, ostrel::TimeframePreset::custom, false);
    const Rows rows = inspector.rows(
        "SELECT id, timestamp, level, total_bytes, timeframe, notified "
        "FROM threshold_events ORDER BY level;");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[0][0], rows[1][0]);
    for (const auto& row : rows) {
        EXPECT_TRUE(std::regex_match(row[0], std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"))) << row[0];
        const auto stamp = ostrel::ostrelISO8601Date(row[1]);
        EXPECT_TRUE(stamp && *stamp >= before && *stamp <= ostrel::currentDate()) << row[1];
    }
    EXPECT_EQ(Rows(1, std::vector<std::string>(rows[0].begin() + 2, rows[0].end())),
              (Rows{{"danger", "123", "monthly", "1"}}));
    EXPECT_EQ(Rows(1, std::vector<std::string>(rows[1].begin() + 2, rows[1].end())),
              (Rows{{"warning", "-1", "custom", "0"}}));
}

}  // namespace
