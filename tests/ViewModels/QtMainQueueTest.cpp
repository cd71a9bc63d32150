#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <thread>
#include <vector>

#include "ViewModels/QtMainQueue.hpp"

namespace ostrel {

class QtMainQueueTest : public QObject {
    Q_OBJECT

private slots:
    // Tasks from worker threads run on the event loop's thread, each once, in each sender's order.
    void tasksFromOtherThreadsRunOnTheLoopThreadInOrder() {
        QtMainQueue queue(QCoreApplication::instance());
        std::vector<int> seen;  // touched only on the loop's thread
        bool offThread = false;
        std::thread worker([&] {
            for (int i = 0; i < 100; ++i) {
                queue.async([&, i] {
                    offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
                    seen.push_back(i);
                });
            }
        });
        worker.join();
        QTRY_COMPARE(seen.size(), std::size_t{100});
        QVERIFY(!offThread);
        for (int i = 0; i < 100; ++i) {
            QCOMPARE(seen[static_cast<std::size_t>(i)], i);
        }
    }

    // A worker thread has no event loop to start a timer on; the loop's thread starts it.
    void delayedTasksFromAnotherThreadRunOnTheLoopThreadInTimeOrder() {
        QtMainQueue queue(QCoreApplication::instance());
        std::vector<int> seen;  // a 0 for a task run off the loop's thread
        std::thread worker([&] {
            for (const int delay : {60, 1}) {
                queue.asyncAfter(std::chrono::milliseconds(delay), [&, delay] {
                    seen.push_back(QThread::currentThread() == QCoreApplication::instance()->thread() ? delay : 0);
                });
            }
        });
        worker.join();
        QTRY_COMPARE(seen, (std::vector<int>{1, 60}));
    }

    void tasksForAGoneContextAreDropped() {
        bool ran = false;
        {
            auto* context = new QObject;
            QtMainQueue queue(context);
            queue.async([&] { ran = true; });
            delete context;
            queue.async([&] { ran = true; });
        }
        QCoreApplication::processEvents();
        QVERIFY(!ran);
    }
};

}  // namespace ostrel

QTEST_GUILESS_MAIN(ostrel::QtMainQueueTest)
#include "QtMainQueueTest.moc"
