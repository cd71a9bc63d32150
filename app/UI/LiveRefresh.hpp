#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

namespace ostrel {

// The live refresh of a screen: while the screen is shown (its tab chosen and the popover open),
// `tick` runs every interval, the first time one interval after the screen appears. Hiding the
// screen stops it and showing it again starts the count anew; a tick does not wait for the load it
// asks for. Owned by the screen.
class LiveRefresh final : public QObject {
    Q_OBJECT

public:
    LiveRefresh(QWidget* screen, std::chrono::nanoseconds interval, std::function<void()> tick);

    std::chrono::nanoseconds interval() const { return interval_; }
    bool isRunning() const { return timer_.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> screen_;
    std::chrono::nanoseconds interval_;
    QTimer timer_;
};

}  // namespace ostrel
