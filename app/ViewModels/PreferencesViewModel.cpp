#include "ViewModels/PreferencesViewModel.hpp"

#include <QPointer>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {
namespace {

QString fromRaw(std::string_view raw) {
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

PreferencesViewModel::PreferencesViewModel(std::shared_ptr<OstrelDataService> dataService,
                                           std::shared_ptr<LocationPermissionService> locationPermissionService,
                                           std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), dataService_(std::move(dataService)), mainQueue_(std::move(mainQueue)) {
    if (!dataService_ || !mainQueue_) {
        throw std::invalid_argument("PreferencesViewModel needs a data service and a main queue");
    }
    locationPermissionService_ = locationPermissionService ? std::move(locationPermissionService)
                                                           : LocationPermissionService::shared(mainQueue_);
    settings_ = copiedSettings_ = dataService_->settings();
    locationPermissionStatus_ = locationPermissionService_->status();
    reloadFromService();  // the active network: none until the answer

    const QPointer<PreferencesViewModel> self(this);
    // The service has one handler: the view model created last takes it over.
    locationPermissionService_->onStatusChanged = [self, queue = mainQueue_](LocationPermissionStatus status) {
        queue->async([self, status] {
            if (self) self->setLocationPermissionStatus(status);
        });
    };
    // Called inside a settings change or a clear as well, so the re-read starts in a later task,
    // and its answer lands after the operation has published its own outcome.
    observerID_ = dataService_->addObserver([self, queue = mainQueue_] {
        queue->async([self] {
            if (self) self->reloadFromService();
        });
    });

    locationPermissionService_->refreshStatus();
    locationPermissionStatus_ = locationPermissionService_->status();
}

PreferencesViewModel::~PreferencesViewModel() {
    if (observerID_) dataService_->removeObserver(*observerID_);
}

QString PreferencesViewModel::menuBarDisplayMode() const {
    return fromRaw(rawValue(settings_.menuBarDisplayMode));
}

QString PreferencesViewModel::locationPermissionStatus() const {
    return fromRaw(rawValue(locationPermissionStatus_));
}

QVariantMap PreferencesViewModel::activeNetworkIdentity() const {
    if (!activeNetworkIdentity_) return {};
    const NetworkIdentity& network = *activeNetworkIdentity_;
    QVariantMap map{{"id", QString::fromStdString(network.id)},
                    {"name", QString::fromStdString(network.name)},
                    {"type", fromRaw(rawValue(network.type))},
                    {"isActive", network.isActive},
                    {"resolutionState", fromRaw(rawValue(network.resolutionState))},
                    {"resolutionSource", QString::fromStdString(network.resolutionSource)},
                    {"resolutionConfidence", network.resolutionConfidence}};
    if (network.interfaceName) map.insert("interfaceName", QString::fromStdString(*network.interfaceName));
    return map;
}

void PreferencesViewModel::updateMenuBarMode(MenuBarDisplayMode mode) {
    persist([mode](OstrelSettings& settings) { settings.menuBarDisplayMode = mode; });
}

bool PreferencesViewModel::updateWarningThreshold(double gigabytes) {
    const auto bytes = bytesFromGigabytes(gigabytes);
    if (!bytes) return false;
    persist([value = *bytes](OstrelSettings& settings) { settings.warningThresholdBytes = value; });
    return true;
}

bool PreferencesViewModel::updateDangerThreshold(double gigabytes) {
    const auto bytes = bytesFromGigabytes(gigabytes);
    if (!bytes) return false;
    persist([value = *bytes](OstrelSettings& settings) { settings.dangerThresholdBytes = value; });
    return true;
}

void PreferencesViewModel::updateNotificationsEnabled(bool enabled) {
    persist([enabled](OstrelSettings& settings) { settings.notificationsEnabled = enabled; });
}

void PreferencesViewModel::updateLaunchAtLogin(bool enabled) {
    persist([enabled](OstrelSettings& settings) { settings.launchAtLogin = enabled; });
}

std::optional<std::int64_t> PreferencesViewModel::bytesFromGigabytes(double gigabytes) {
    const double bytes = gigabytes * 1024.0 * 1024.0 * 1024.0;
    // 2^63 is exact in a double, and no double lies strictly between -2^63 - 1 and -2^63, so these
    // bounds keep exactly the products whose truncation fits.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(bytes) || bytes >= limit || bytes < -limit) return std::nullopt;
    return static_cast<std::int64_t>(bytes);
}

// Saves run one after another on the worker queue, so the store ends with the newest change, and
// their answers come back in the order asked.
void PreferencesViewModel::persist(Change change) {
    pendingChanges_.push_back(change);
    showSettings();
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, change = std::move(change)] {
            service->updateSettings(change);
            return service->settings();
        },
        [](PreferencesViewModel& self, LoadOutcome<OstrelSettings> outcome) {
            self.finishPersist(outcome.value, outcome.error);
        });
}

void PreferencesViewModel::finishPersist(const std::optional<OstrelSettings>& saved, const QString& error) {
    pendingChanges_.pop_front();
    if (saved) {
        copiedSettings_ = *saved;
        showSettings();
        setErrorMessage({});
        setInfoMessage({});
        return;
    }
    // The data service keeps the unsaved value; the copy stays until its next announcement.
    setErrorMessage(error);
    setInfoMessage({});
    showSettings();
}

void PreferencesViewModel::showSettings() {
    OstrelSettings shown = copiedSettings_;
    for (const Change& change : pendingChanges_) change(shown);
    setSettings(shown);
}

void PreferencesViewModel::reloadFromService() {
    struct Copy {
        OstrelSettings settings;
        std::optional<NetworkIdentity> activeNetwork;
    };
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_] {
            Copy copy{service->settings(), std::nullopt};
            try {
                copy.activeNetwork = service->repository().fetchActiveNetworkIdentity();
            } catch (const std::exception&) {
                // shown as no active network; the screen has no place for this error
            }
            return copy;
        },
        [](PreferencesViewModel& self, LoadOutcome<Copy> outcome) {
            self.copiedSettings_ = outcome.value->settings;
            self.showSettings();
            self.setActiveNetworkIdentity(outcome.value->activeNetwork);
        });
}

void PreferencesViewModel::clearData() {
    if (isClearingData_) return;
    setIsClearingData(true);
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_] {
            service->clearAllData();
            return true;
        },
        [](PreferencesViewModel& self, LoadOutcome<bool> outcome) {
            if (outcome.value) {
                self.setErrorMessage({});
                self.setInfoMessage(QString::fromUtf8(dataClearedMessage));
            } else {
                self.setErrorMessage(outcome.error);
                self.setInfoMessage({});
            }
            self.setIsClearingData(false);
        });
}

void PreferencesViewModel::requestLocationAccess() {
    locationPermissionService_->requestAccess(true, true);
    setLocationPermissionStatus(locationPermissionService_->status());
}

void PreferencesViewModel::refreshLocationStatus() {
    locationPermissionService_->refreshStatus();
    setLocationPermissionStatus(locationPermissionService_->status());
}

void PreferencesViewModel::openLocationSettings() {
    locationPermissionService_->openSystemLocationSettings();
}

void PreferencesViewModel::setSettings(const OstrelSettings& value) {
    const OstrelSettings old = std::exchange(settings_, value);
    if (old.menuBarDisplayMode != value.menuBarDisplayMode) emit menuBarDisplayModeChanged();
    if (old.warningThresholdBytes != value.warningThresholdBytes) emit warningThresholdBytesChanged();
    if (old.dangerThresholdBytes != value.dangerThresholdBytes) emit dangerThresholdBytesChanged();
    if (old.notificationsEnabled != value.notificationsEnabled) emit notificationsEnabledChanged();
    if (old.launchAtLogin != value.launchAtLogin) emit launchAtLoginChanged();
}

void PreferencesViewModel::setErrorMessage(const QString& value) {
    if (errorMessage_.isNull() == value.isNull() && errorMessage_ == value) return;
    errorMessage_ = value;
    emit errorMessageChanged();
}

void PreferencesViewModel::setInfoMessage(const QString& value) {
    if (infoMessage_.isNull() == value.isNull() && infoMessage_ == value) return;
    infoMessage_ = value;
    emit infoMessageChanged();
}

void PreferencesViewModel::setIsClearingData(bool value) {
    if (isClearingData_ == value) return;
    isClearingData_ = value;
    emit isClearingDataChanged();
}

void PreferencesViewModel::setLocationPermissionStatus(LocationPermissionStatus value) {
    if (locationPermissionStatus_ == value) return;
    locationPermissionStatus_ = value;
    emit locationPermissionStatusChanged();
}

void PreferencesViewModel::setActiveNetworkIdentity(const std::optional<NetworkIdentity>& value) {
    if (activeNetworkIdentity_ == value) return;
    activeNetworkIdentity_ = value;
    emit activeNetworkIdentityChanged();
}

}  // namespace ostrel
