#pragma once

#include <QWidget>
#include <array>
#include <chrono>
#include <optional>

class QStackedWidget;
class QTabBar;

namespace ostrel {

enum class PopoverTab { overview, networks, apps, prefs };
inline constexpr std::array allPopoverTabs{PopoverTab::overview, PopoverTab::networks, PopoverTab::apps,
                                           PopoverTab::prefs};

// The popover's four tabs under a centred tab bar, each holding its screen for the tabs' whole
// life. The tab bar keeps its own selection, starting on the first tab; only the chosen screen is
// shown, so only it refreshes.
class PopoverTabs final : public QWidget {
    Q_OBJECT

public:
    // Takes the screens, in the order of allPopoverTabs.
    explicit PopoverTabs(const std::array<QWidget*, 4>& screens, QWidget* parent = nullptr);

    QTabBar* tabBar() const { return bar_; }
    int currentIndex() const;
    void setCurrentIndex(int index);
    QWidget* screen(PopoverTab tab) const;

    // How often a shown screen refreshes itself: 3 s for Overview, 4 s for Networks and Apps; Prefs
    // does not.
    static std::optional<std::chrono::nanoseconds> liveRefreshInterval(PopoverTab tab);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyIcons();

    QTabBar* bar_;
    QStackedWidget* stack_;
};

}  // namespace ostrel
