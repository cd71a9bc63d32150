#include "ViewModels/QtMainQueue.hpp"

#include <QMetaObject>

namespace ostrel {

QtMainQueue::QtMainQueue(QObject* context) : context_(context) {}

void QtMainQueue::async(std::function<void()> task) {
    // QPointer reads are not atomic against the context's destruction on another thread; the
    // context is the application object, which outlives every queue that can post to it.
    if (QObject* context = context_.data()) {
        QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    }
}

}  // namespace ostrel
