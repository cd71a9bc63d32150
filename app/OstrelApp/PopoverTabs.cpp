#include "OstrelApp/PopoverTabs.hpp"

#include <QEvent>
#include <QTabBar>

#include "UI/PlatformStyle.hpp"
#include "UI/Symbols.hpp"

namespace ostrel {
namespace {

struct TabSpec {
    const char* title;
    const char* objectName;
    Symbol symbol;
};

TabSpec specOf(PopoverTab tab) {
    switch (tab) {
        case PopoverTab::overview:
            return {"Overview", "overviewScreen", Symbol::chartLine};
        case PopoverTab::networks:
            return {"Networks", "networksScreen", Symbol::wifi};
        case PopoverTab::apps:
            return {"Apps", "appsScreen", Symbol::connectedApps};
        case PopoverTab::prefs:
            return {"Prefs", "prefsScreen", Symbol::gear};
    }
    return {"", "", Symbol::gear};
}

}  // namespace

PopoverTabs::PopoverTabs(QWidget* parent) : QTabWidget(parent) {
    setObjectName("tabs");
    setDocumentMode(true);
    tabBar()->setExpanding(false);
    for (const PopoverTab tab : allPopoverTabs) {
        addTab(new QWidget, QString::fromLatin1(specOf(tab).title));
        setScreen(tab, new ScreenPlaceholder);
    }
    setCurrentIndex(0);
    applyIcons();
}

std::optional<std::uint64_t> PopoverTabs::liveRefreshIntervalNs(PopoverTab tab) {
    switch (tab) {
        case PopoverTab::overview:
            return 3000000000ULL;
        case PopoverTab::networks:
        case PopoverTab::apps:
            return 4000000000ULL;
        case PopoverTab::prefs:
            break;
    }
    return std::nullopt;
}

QWidget* PopoverTabs::screen(PopoverTab tab) const {
    return widget(static_cast<int>(tab));
}

void PopoverTabs::setScreen(PopoverTab tab, QWidget* screen) {
    const int index = static_cast<int>(tab);
    const TabSpec spec = specOf(tab);
    const int selected = currentIndex();
    const auto interval = liveRefreshIntervalNs(tab);
    if (interval && screen->metaObject()->indexOfProperty(liveRefreshIntervalProperty) >= 0) {
        screen->setProperty(liveRefreshIntervalProperty, QVariant::fromValue<quint64>(*interval));
    }
    if (screen->objectName().isEmpty()) screen->setObjectName(spec.objectName);
    QWidget* previous = widget(index);
    const QIcon icon = tabIcon(index);
    removeTab(index);
    insertTab(index, screen, icon, QString::fromLatin1(spec.title));
    delete previous;
    setCurrentIndex(selected);
}

void PopoverTabs::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyIcons();
    QTabWidget::changeEvent(event);
}

void PopoverTabs::applyIcons() {
    const QColor color = hierarchicalColor(palette(), Hierarchy::primary);
    for (const PopoverTab tab : allPopoverTabs)
        setTabIcon(static_cast<int>(tab), symbolIcon(specOf(tab).symbol, color));
}

}  // namespace ostrel
