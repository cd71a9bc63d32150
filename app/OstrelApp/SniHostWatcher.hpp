#pragma once

#include <QDBusConnection>
#include <QObject>

namespace ostrel {

// Tells when a StatusNotifierItem host becomes available on the session bus: a panel that starts
// after the program, or starts again. A watcher counts only once a host has registered with it,
// since a watcher alone shows nothing.
class SniHostWatcher final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* watcherPath = "/StatusNotifierWatcher";

    // Listens from here on; make it before asking `hostAvailable`, so that no host slips between.
    explicit SniHostWatcher(QDBusConnection bus, QObject* parent = nullptr);

    // True when a watcher on `bus` reports a registered host now; waits for its answer.
    static bool hostAvailable(const QDBusConnection& bus);

signals:
    // A watcher with a host appeared, or a host registered with a watcher; may come more than once.
    void hostAppeared();

private slots:
    void check();

private:
    QDBusConnection bus_;
};

}  // namespace ostrel
