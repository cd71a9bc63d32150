#include "ViewModels/MenuBarViewModel.hpp"

#include <QPointer>
#include <exception>
#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "Model/ScreenTexts.hpp"
#include "Model/TextFormat.hpp"
#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {
namespace {

QString byteText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

}  // namespace

MenuBarViewModel::MenuBarViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                                   QObject* parent)
    : QObject(parent), dataService_(std::move(dataService)), mainQueue_(std::move(mainQueue)) {
    displayMode_ = serviceMode_ = dataService_->settings().menuBarDisplayMode;
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
        showsName_ = true;
        showModeAndText();
        dataService_->logSink()->log("MenuBar refresh failed: " + outcome.error);
        emit refreshFinished();
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
    // A choice whose save has not answered stays shown: this answer may have read the mode before it.
    serviceMode_ = outcome.mode;
    showsName_ = false;
    showModeAndText();
    emit refreshFinished();
}

// The save runs on the worker queue behind the refreshes asked for before it, and its answer
// comes back after theirs; successive choices are saved and answered in order.
void MenuBarViewModel::updateDisplayMode(MenuBarDisplayMode mode) {
    pendingModes_.push_back(mode);
    showModeAndText();
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, mode] {
            service->updateSettings([mode](OstrelSettings& settings) { settings.menuBarDisplayMode = mode; });
            return mode;
        },
        [](MenuBarViewModel& self, LoadOutcome<MenuBarDisplayMode> outcome) {
            self.finishDisplayModeUpdate(outcome.value ? std::nullopt : std::optional(outcome.error.toStdString()));
        });
}

void MenuBarViewModel::finishDisplayModeUpdate(const std::optional<std::string>& error) {
    const MenuBarDisplayMode mode = pendingModes_.front();
    pendingModes_.pop_front();
    if (error) {
        dataService_->logSink()->log("Display mode update failed: " + *error);
    } else {
        serviceMode_ = mode;
        showsName_ = false;
    }
    showModeAndText();
}

void MenuBarViewModel::showModeAndText() {
    const MenuBarDisplayMode shown = pendingModes_.empty() ? serviceMode_ : pendingModes_.back();
    setDisplayMode(shown);
    setMenuBarText(showsName_ ? QStringLiteral("Ostrel") : makeMenuBarText(shown, todaySummary_));
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
