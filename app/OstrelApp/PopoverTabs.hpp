#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

class QStackedWidget;
class QTabBar;

namespace ostrel {

enum class PopoverTab { overview, networks, apps, prefs };
inline constexpr std::array allPopoverTabs{PopoverTab::overview, PopoverTab::networks, PopoverTab::apps,
                                           PopoverTab::prefs};

// The property through which a screen receives its live-refresh interval, in nanoseconds, as an
// unsigned 64-bit number (quint64). A screen declares it to take part.
inline constexpr const char* liveRefreshIntervalProperty = "liveRefreshIntervalNs";

// The popover's four tabs under a centred tab bar, each holding one screen for the tabs' whole
// life. Until a screen is set, a tab holds a placeholder. The tab bar keeps its own selection,
// starting on the first tab.
class PopoverTabs final : public QWidget {
    Q_OBJECT

public:
    explicit PopoverTabs(QWidget* parent = nullptr);

    QTabBar* tabBar() const { return bar_; }
    int currentIndex() const;
    void setCurrentIndex(int index);

    // 3 s for Overview, 4 s for Networks and Apps; none for Prefs.
    static std::optional<std::uint64_t> liveRefreshIntervalNs(PopoverTab tab);

    QWidget* screen(PopoverTab tab) const;
    // Puts `screen` in the tab in place of what was there, which is deleted, and hands it the
    // tab's live-refresh interval when it declares the property. The selection stays.
    void setScreen(PopoverTab tab, QWidget* screen);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyIcons();

    QTabBar* bar_;
    QStackedWidget* stack_;
};

// What a tab shows until its screen arrives.
class ScreenPlaceholder final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(quint64 liveRefreshIntervalNs MEMBER liveRefreshIntervalNs_)

public:
    using QWidget::QWidget;

private:
    quint64 liveRefreshIntervalNs_ = 0;
};

}  // namespace ostrel
