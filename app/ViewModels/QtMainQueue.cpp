#include "ViewModels/QtMainQueue.hpp"

#include <QMetaObject>
#include <QTimer>

namespace ostrel {

QtMainQueue::QtMainQueue(QObject* context) : context_(context) {}

void QtMainQueue::async(std::function<void()> task) {
    // QPointer reads are not atomic against the context's destruction on another thread; the
    // context is the application object, which outlives every queue that can post to it.
    if (QObject* context = context_.data()) {
        QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    }
}

void QtMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    // A timer can only be started on a thread with an event loop, so the loop's thread starts it.
    if (QObject* context = context_.data()) {
        QMetaObject::invokeMethod(
            context,
            [context, delay, task = std::move(task)]() mutable { QTimer::singleShot(delay, context, std::move(task)); },
            Qt::QueuedConnection);
    }
}

}  // namespace ostrel
