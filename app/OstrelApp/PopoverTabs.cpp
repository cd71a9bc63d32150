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

PopoverTabs::PopoverTabs(const std::array<QWidget*, 4>& screens, QWidget* parent)
    : QWidget(parent), bar_(new QTabBar(this)), stack_(new QStackedWidget(this)) {
    setObjectName("tabs");
    bar_->setObjectName("tabBar");
    bar_->setDocumentMode(true);
    bar_->setExpanding(false);
    bar_->setDrawBase(false);
    for (const PopoverTab tab : allPopoverTabs) {
        const TabSpec spec = specOf(tab);
        bar_->addTab(QString::fromLatin1(spec.title));
        QWidget* screen = screens.at(static_cast<std::size_t>(tab));
        if (screen->objectName().isEmpty()) screen->setObjectName(spec.objectName);
        stack_->addWidget(screen);
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

std::optional<std::chrono::nanoseconds> PopoverTabs::liveRefreshInterval(PopoverTab tab) {
    using std::chrono::nanoseconds;
    switch (tab) {
        case PopoverTab::overview:
            return nanoseconds(3000000000);
        case PopoverTab::networks:
        case PopoverTab::apps:
            return nanoseconds(4000000000);
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
