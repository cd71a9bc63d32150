#include "OstrelApp/PopoverTabs.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

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

PopoverTabs::PopoverTabs(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)), stack_(new QStackedWidget(this)) {
    setObjectName("tabs");
    bar_->setObjectName("tabBar");
    bar_->setDocumentMode(true);
    bar_->setExpanding(false);
    bar_->setDrawBase(false);
    for (const PopoverTab tab : allPopoverTabs) {
        bar_->addTab(QString::fromLatin1(specOf(tab).title));
        stack_->addWidget(new QWidget);
        setScreen(tab, new ScreenPlaceholder);
    }
    connect(bar_, &QTabBar::currentChanged, stack_, &QStackedWidget::setCurrentIndex);
    setCurrentIndex(0);
    applyIcons();

    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(0, 6, 0, 0);
    barRow->addStretch();
    barRow->addWidget(bar_);
    barRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(barRow);
    layout->addWidget(stack_, 1);
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

int PopoverTabs::currentIndex() const {
    return bar_->currentIndex();
}

void PopoverTabs::setCurrentIndex(int index) {
    bar_->setCurrentIndex(index);
    stack_->setCurrentIndex(index);
}

QWidget* PopoverTabs::screen(PopoverTab tab) const {
    return stack_->widget(static_cast<int>(tab));
}

void PopoverTabs::setScreen(PopoverTab tab, QWidget* screen) {
    const int index = static_cast<int>(tab);
    const auto interval = liveRefreshIntervalNs(tab);
    if (interval && screen->metaObject()->indexOfProperty(liveRefreshIntervalProperty) >= 0) {
        screen->setProperty(liveRefreshIntervalProperty, QVariant::fromValue<quint64>(*interval));
    }
    if (screen->objectName().isEmpty()) screen->setObjectName(specOf(tab).objectName);
    QWidget* previous = stack_->widget(index);
    stack_->insertWidget(index, screen);
    stack_->removeWidget(previous);
    delete previous;
    stack_->setCurrentIndex(bar_->currentIndex());
}

void PopoverTabs::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyIcons();
    QWidget::changeEvent(event);
}

void PopoverTabs::applyIcons() {
    const QColor color = hierarchicalColor(palette(), Hierarchy::primary);
    for (const PopoverTab tab : allPopoverTabs) {
        bar_->setTabIcon(static_cast<int>(tab), symbolIcon(specOf(tab).symbol, color));
    }
}

}  // namespace ostrel
