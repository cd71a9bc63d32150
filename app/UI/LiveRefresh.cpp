#include "UI/LiveRefresh.hpp"

#include <QEvent>
#include <QWidget>
#include <utility>

namespace ostrel {

LiveRefresh::LiveRefresh(QWidget* screen, std::chrono::nanoseconds interval, std::function<void()> tick)
    : QObject(screen), screen_(screen), interval_(interval) {
    setObjectName("liveRefresh");
    timer_.setParent(this);
    timer_.setObjectName("liveRefreshTimer");
    // Whole milliseconds, rounded up: a period below one still waits for the event loop.
    timer_.setInterval(std::chrono::ceil<std::chrono::milliseconds>(interval));
    connect(&timer_, &QTimer::timeout, this, std::move(tick));
    screen->installEventFilter(this);
    if (screen->isVisible()) timer_.start();
}

bool LiveRefresh::eventFilter(QObject* watched, QEvent* event) {
    if (watched == screen_) {
        // Starting again restarts the count: one loop however often the screen shows and hides.
        if (event->type() == QEvent::Show) timer_.start();
        if (event->type() == QEvent::Hide) timer_.stop();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace ostrel
