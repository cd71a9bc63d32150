// Ostrel: measures this computer's network traffic per network and per application, from the
// system tray.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "OstrelApp/AppDelegate.hpp"
#include "Platform/InstanceLock.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/ProgramRestart.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/QtMainQueue.hpp"

int main(int argc, char* argv[]) {
    using namespace ostrel;
    // A second Ostrel on the same database would count every byte twice: it leaves before it
    // touches anything, the display included. A start that cannot hold the lock on the database
    // ends here too, before anything has opened the database or changed it. The lock is taken here
    // only, and held for the life of the process: closing its descriptor would drop SQLite's
    // locks on the file.
    std::shared_ptr<InstanceLock> lock;
    const auto failedStart = [](const std::string& description) {
        SyslogSink log;
        exitAfterFailedStart(OstrelDataServiceError(OstrelDataService::startFailurePrefix + description), log);
    };
    try {
        const std::string dataHome = OstrelDataService::Dependencies::dataHomeFromEnvironment();
        lock = std::make_shared<InstanceLock>(InstanceLock::acquire(OstrelDataService::databasePath(dataHome)));
    } catch (const std::exception& error) {
        failedStart(error.what());
    }
    if (lock->state() == InstanceLock::State::heldElsewhere) {
        std::printf("Ostrel is already running.\n");
        return EXIT_SUCCESS;
    }
    if (lock->state() == InstanceLock::State::failed) failedStart(lock->error());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    QApplication::setDesktopFileName(QStringLiteral("com.ostrel.Ostrel"));
    QApplication::setQuitOnLastWindowClosed(false);

    const auto mainQueue = std::make_shared<QtMainQueue>(&app);
    // Another program holding the database's write lock for longer than SQLite waits does not end
    // the start: it is tried again, with longer pauses, until that program lets go.
    auto retryStart = [said = false,
                       pause = std::chrono::milliseconds{250}](const OstrelDataServiceError& error) mutable {
        if (!error.databaseBusy()) return false;
        if (!said) {
            const std::string line =
                std::string("Another program holds the database's write lock; Ostrel starts once it lets go (") +
                error.what() + ").";
            SyslogSink().log(line);
            std::fprintf(stderr, "%s\n", line.c_str());
            said = true;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds{4000});
        return true;
    };
    AppDelegate delegate(mainQueue, retryStart);
    delegate.applicationDidFinishLaunching();

    // When the database file goes from under the program, it starts again on whatever is at the
    // path then, through the whole start-up with its lock, checks and messages, as a start by hand
    // would.
    const auto dataService = delegate.dataService();
    ProgramRestart restart(lock, dataService->logSink(),
                           {
                               [dataService] { dataService->stopSampling(); },
                               [dataService](bool copyLog, const std::function<bool(bool)>& round) {
                                   dataService->repository().checkpointThen(copyLog, round);
                               },
                               [] {
                                   const std::string why = restartThisProgram();
                                   std::fprintf(stderr, "Ostrel cannot start again: %s\n", why.c_str());
                                   std::_Exit(EXIT_FAILURE);
                               },
                           });
    restart.watch();

    const int status = QApplication::exec();
    // Quitting ends the process at once, with the sampler's threads still running.
    std::fflush(nullptr);
    std::_Exit(status);
}
