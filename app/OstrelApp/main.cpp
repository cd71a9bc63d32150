// Ostrel: measures this computer's network traffic per network and per application, from the
// system tray.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "OstrelApp/AppDelegate.hpp"
#include "Platform/InstanceLock.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/QtMainQueue.hpp"

int main(int argc, char* argv[]) {
    using namespace ostrel;
    // A second Ostrel on the same database would count every byte twice: it leaves before it
    // touches anything, the display included.
    const std::string dataHome = OstrelDataService::Dependencies::dataHomeFromEnvironment();
    std::optional<InstanceLock> lock;
    if (!dataHome.empty()) {
        lock = InstanceLock::acquire(dataHome + "/Ostrel/ostrel.lock");
        if (lock->state() == InstanceLock::State::heldElsewhere) {
            std::printf("Ostrel is already running.\n");
            return EXIT_SUCCESS;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    QApplication::setDesktopFileName(QStringLiteral("com.ostrel.Ostrel"));
    QApplication::setQuitOnLastWindowClosed(false);

    const auto mainQueue = std::make_shared<QtMainQueue>(&app);
    AppDelegate delegate(mainQueue);
    // A folder the lock cannot be made in almost always fails the data service's start with its
    // own message; if the database opens all the same, Ostrel still refuses to run unguarded.
    delegate.applicationDidFinishLaunching();
    if (lock && lock->state() == InstanceLock::State::failed) {
        std::fprintf(stderr, "Ostrel cannot hold its instance lock: %s\n", lock->error().c_str());
        std::_Exit(EXIT_FAILURE);
    }

    const int status = QApplication::exec();
    // Quitting ends the process at once, with the sampler's threads still running.
    std::fflush(nullptr);
    std::_Exit(status);
}
