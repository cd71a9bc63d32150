#include "ViewModels/MenuBarViewModel.hpp"

#include <QPointer>
#include <exception>
#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "Model/ScreenTexts.hpp"
#include "Model/TextFormat.hpp"

namespace ostrel {
namespace {

QString byteText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

}  // namespace

MenuBarViewModel::MenuBarViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                                   QObject* parent)
    : QObject(parent), dataService_(std::move(dataService)), mainQueue_(std::move(mainQueue)) {
    displayMode_ = dataService_->settings().menuBarDisplayMode;
    // Observers may be called from any thread; the refresh always starts on the main queue.
    observerID_ = dataService_->addObserver([self = QPointer<MenuBarViewModel>(this), queue = mainQueue_] {
        queue->async([self] {
            if (self) self->refresh();
        });
    });
    refresh();
}

MenuBarViewModel::~MenuBarViewModel() {
    if (observerID_) dataService_->removeObserver(*observerID_);
}

QString MenuBarViewModel::todayTotalText() const {
    return QString::fromStdString(totalBytesText(todaySummary_.rxBytes, todaySummary_.txBytes));
}

QString MenuBarViewModel::todayDirectionsText() const {
    return QString::fromStdString(directionsText(todaySummary_));
}

void MenuBarViewModel::refresh() {
    const std::uint64_t generation = ++refreshGeneration_;
    // The queued work never touches the model: only the main queue may, and only while it lives.
    workerQueue_.async(
        [service = dataService_, queue = mainQueue_, self = QPointer<MenuBarViewModel>(this), generation]() mutable {
            Outcome outcome;
            try {
                outcome.snapshot = service->loadMenuBarSnapshot();
                outcome.mode = service->settings().menuBarDisplayMode;
            } catch (const std::exception& error) {
                outcome.snapshot.reset();
                outcome.error = error.what();
            }
            queue->async([self = std::move(self), generation, outcome = std::move(outcome)] {
                if (self) self->publish(generation, outcome);
            });
        });
}

void MenuBarViewModel::publish(std::uint64_t generation, const Outcome& outcome) {
    if (generation != refreshGeneration_) return;
    if (!outcome.snapshot) {
        setMenuBarText(QStringLiteral("Ostrel"));
        dataService_->logSink()->log("MenuBar refresh failed: " + outcome.error);
        return;
    }
    const MenuBarSnapshot& snapshot = *outcome.snapshot;
    const auto orPlaceholder = [](const std::optional<std::string>& value, const char* placeholder) {
        return value ? QString::fromStdString(*value) : QString::fromLatin1(placeholder);
    };
    const auto assign = [this](QString& field, const QString& value, void (MenuBarViewModel::*changed)()) {
        if (field == value) return;
        field = value;
        emit(this->*changed)();
    };
    if (todaySummary_ != snapshot.summary) {
        todaySummary_ = snapshot.summary;
        emit todaySummaryChanged();
    }
    assign(activeNetworkTitle_, orPlaceholder(snapshot.activeNetwork, "Unknown"),
           &MenuBarViewModel::activeNetworkTitleChanged);
    assign(topAppTitle_, orPlaceholder(snapshot.topAppToday, "-"), &MenuBarViewModel::topAppTitleChanged);
    assign(topNetworkTitle_, orPlaceholder(snapshot.topNetworkToday, "-"), &MenuBarViewModel::topNetworkTitleChanged);
    setDisplayMode(outcome.mode);
    setMenuBarText(makeMenuBarText(outcome.mode, snapshot.summary));
}

void MenuBarViewModel::updateDisplayMode(MenuBarDisplayMode mode) {
    try {
        dataService_->updateSettings([mode](OstrelSettings& settings) { settings.menuBarDisplayMode = mode; });
    } catch (const std::exception& error) {
        dataService_->logSink()->log(std::string("Display mode update failed: ") + error.what());
        return;
    }
    // A reload under way read the mode before this change and would bring it back for a moment;
    // the announcement of the change has queued a fresh one.
    ++refreshGeneration_;
    setDisplayMode(mode);
    setMenuBarText(makeMenuBarText(mode, todaySummary_));
}

QString MenuBarViewModel::makeMenuBarText(MenuBarDisplayMode mode, const UsageSummary& summary) {
    switch (mode) {
        case MenuBarDisplayMode::totalToday:
            return byteText(saturatingAdd(summary.rxBytes, summary.txBytes)) + QStringLiteral(" Today");
        case MenuBarDisplayMode::compactTotal:
            return byteText(saturatingAdd(summary.rxBytes, summary.txBytes));
        case MenuBarDisplayMode::uploadDownload:
            return QStringLiteral("\u2193 ") + byteText(summary.rxBytes) + QStringLiteral(" \u2191 ") +
                   byteText(summary.txBytes);
    }
    return {};
}

void MenuBarViewModel::setMenuBarText(const QString& value) {
    if (menuBarText_ == value) return;
    menuBarText_ = value;
    emit menuBarTextChanged();
}

void MenuBarViewModel::setDisplayMode(MenuBarDisplayMode value) {
    if (displayMode_ == value) return;
    displayMode_ = value;
    emit displayModeChanged();
}

}  // namespace ostrel
