#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Platform/MainQueue.hpp"
#include "Services/LocationPermissionService.hpp"
#include "Services/OstrelDataService.hpp"

namespace ostrel {

// The state behind the Preferences screen. It keeps a copy of the data service's settings, the
// location permission status and the active network, and refreshes them whenever the data service
// announces a change. It changes settings and clears data only through the data service.
//
// Main thread only. Each operation blocks it while the data service works; the data service's
// announcements and the status changes land in later main-queue tasks, which a released view model
// drops.
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

    // Each saves the settings through the data service: on success the view model shows the saved
    // settings and no message, on failure the error's text and its previous settings.
    void updateMenuBarMode(MenuBarDisplayMode mode);
    // Gigabytes times 1024^3, truncated toward zero. A value that is not finite or whose byte count
    // lies outside the signed 64-bit range is refused: false, and nothing changes or is saved.
    bool updateWarningThreshold(double gigabytes);
    bool updateDangerThreshold(double gigabytes);
    void updateNotificationsEnabled(bool enabled);
    void updateLaunchAtLogin(bool enabled);

    // Deletes all local usage data; does nothing while a clear is running.
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

    void persist(const std::function<void(OstrelSettings&)>& change);
    std::optional<NetworkIdentity> fetchActiveNetworkIdentity() const;

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

    OstrelSettings settings_;
    QString errorMessage_;
    QString infoMessage_;
    bool isClearingData_ = false;
    LocationPermissionStatus locationPermissionStatus_ = LocationPermissionStatus::unknown;
    std::optional<NetworkIdentity> activeNetworkIdentity_;
};

}  // namespace ostrel
