#pragma once

#include <QObject>
#include <QPointer>

#include "Platform/MainQueue.hpp"

namespace ostrel {

// The main queue of the running program: tasks run on the thread of Qt's event loop, in the
// order they were queued. Once the context object is gone, queued and later tasks are dropped.
class QtMainQueue final : public MainQueue {
public:
    explicit QtMainQueue(QObject* context);

    void async(std::function<void()> task) override;
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> task) override;

private:
    QPointer<QObject> context_;
};

}  // namespace ostrel
