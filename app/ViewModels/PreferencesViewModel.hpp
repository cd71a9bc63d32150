#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Platform/MainQueue.hpp"
#include "Services/LocationPermissionService.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/WorkerQueue.hpp"

namespace ostrel {

// The state behind the Preferences screen. It keeps a copy of the data service's settings, the
// location permission status and the active network, and refreshes them whenever the data service
// announces a change. It changes settings and clears data only through the data service.
//
// Main thread only, and it never waits there for the data service: saves, clears and the reads
// of the active network run on the view model's worker queue in the order asked, and their
// answers, the data service's announcements and the status changes land in later main-queue
// tasks, which a released view model drops. A change shows at once, while its save runs.
class PreferencesViewModel final : public QObject {
    Q_OBJECT
    // The settings, field by field; the display mode as its raw value ("totalToday", ...).
    Q_PROPERTY(QString menuBarDisplayMode READ menuBarDisplayMode NOTIFY menuBarDisplayModeChanged)
    Q_PROPERTY(qint64 warningThresholdBytes READ warningThresholdBytes NOTIFY warningThresholdBytesChanged)
    Q_PROPERTY(qint64 dangerThresholdBytes READ dangerThresholdBytes NOTIFY dangerThresholdBytesChanged)
    Q_PROPERTY(bool notificationsEnabled READ notificationsEnabled NOTIFY notificationsEnabledChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    // A null string when there is no message.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString infoMessage READ infoMessage NOTIFY infoMessageChanged)
    Q_PROPERTY(bool isClearingData READ isClearingData NOTIFY isClearingDataChanged)
    // The raw value ("authorized", "notDetermined", ...).
    Q_PROPERTY(QString locationPermissionStatus READ locationPermissionStatus NOTIFY locationPermissionStatusChanged)
    // The identity's fields by name, interfaceName left out when unknown; empty when no network
    // is active.
    Q_PROPERTY(QVariantMap activeNetworkIdentity READ activeNetworkIdentity NOTIFY activeNetworkIdentityChanged)

public:
    static constexpr const char* dataClearedMessage = "Local usage data cleared.";
    static constexpr const char* workerQueueLabel = "ostrel.preferences.viewmodel.queue";

    // A null location permission service means the process's shared one.
    PreferencesViewModel(std::shared_ptr<OstrelDataService> dataService,
                         std::shared_ptr<LocationPermissionService> locationPermissionService,
                         std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~PreferencesViewModel() override;

    // Typed reads of the published state.
    const OstrelSettings& settings() const { return settings_; }
    LocationPermissionStatus permissionStatus() const { return locationPermissionStatus_; }
    const std::optional<NetworkIdentity>& activeNetwork() const { return activeNetworkIdentity_; }

    QString menuBarDisplayMode() const;
    qint64 warningThresholdBytes() const { return settings_.warningThresholdBytes; }
    qint64 dangerThresholdBytes() const { return settings_.dangerThresholdBytes; }
    bool notificationsEnabled() const { return settings_.notificationsEnabled; }
    bool launchAtLogin() const { return settings_.launchAtLogin; }
    QString errorMessage() const { return errorMessage_; }
    QString infoMessage() const { return infoMessage_; }
    bool isClearingData() const { return isClearingData_; }
    QString locationPermissionStatus() const;
    QVariantMap activeNetworkIdentity() const;

    // Each saves the settings through the data service. The change shows at once; when the save
    // answers, the view model shows the saved settings and no message, or on failure the error's
    // text and the settings it showed without this change.
    void updateMenuBarMode(MenuBarDisplayMode mode);
    // Gigabytes times 1024^3, truncated toward zero. A value that is not finite or whose byte count
    // lies outside the signed 64-bit range is refused: false, and nothing changes or is saved.
    bool updateWarningThreshold(double gigabytes);
    bool updateDangerThreshold(double gigabytes);
    void updateNotificationsEnabled(bool enabled);
    void updateLaunchAtLogin(bool enabled);

    // Deletes all local usage data in the background; does nothing while a clear is running.
    void clearData();

    // Each copies the service's status at once; the answer to a request arrives later.
    void requestLocationAccess();
    void refreshLocationStatus();
    void openLocationSettings();

signals:
    void menuBarDisplayModeChanged();
    void warningThresholdBytesChanged();
    void dangerThresholdBytesChanged();
    void notificationsEnabledChanged();
    void launchAtLoginChanged();
    void errorMessageChanged();
    void infoMessageChanged();
    void isClearingDataChanged();
    void locationPermissionStatusChanged();
    void activeNetworkIdentityChanged();

private:
    static std::optional<std::int64_t> bytesFromGigabytes(double gigabytes);

    using Change = std::function<void(OstrelSettings&)>;
    void persist(Change change);
    void finishPersist(const std::optional<OstrelSettings>& saved, const QString& error);
    // A fresh copy of the data service's settings, then the active network.
    void reloadFromService();
    // The copy with the changes still being saved applied, in order.
    void showSettings();

    // Each stores and announces only a value that differs.
    void setSettings(const OstrelSettings& value);
    void setErrorMessage(const QString& value);
    void setInfoMessage(const QString& value);
    void setIsClearingData(bool value);
    void setLocationPermissionStatus(LocationPermissionStatus value);
    void setActiveNetworkIdentity(const std::optional<NetworkIdentity>& value);

    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<LocationPermissionService> locationPermissionService_;
    std::shared_ptr<MainQueue> mainQueue_;
    std::optional<OstrelDataService::ObserverID> observerID_;

    OstrelSettings settings_;  // shown
    // The data service's settings as last copied, and the changes asked for since whose saves
    // have not answered yet, oldest first.
    OstrelSettings copiedSettings_;
    std::deque<Change> pendingChanges_;
    QString errorMessage_;
    QString infoMessage_;
    bool isClearingData_ = false;
    LocationPermissionStatus locationPermissionStatus_ = LocationPermissionStatus::unknown;
    std::optional<NetworkIdentity> activeNetworkIdentity_;
    // Released without waiting: work still queued runs on, and its answer is dropped.
    WorkerQueue workerQueue_{workerQueueLabel};
};

}  // namespace ostrel
