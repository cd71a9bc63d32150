#pragma once

#include <QString>

#include "Features/Preferences/PreferencesStyle.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"

namespace ostrel {

// What the screen shows for a location permission status: its title in its colour, the
// sentence that explains it, and which of the three actions it offers.
struct LocationStatusPresentation {
    QString title;
    SystemColor color = SystemColor::secondary;
    QString message;
    bool grantAccess = false;
    bool openLocationSettings = false;
    bool refreshStatus = true;
};

LocationStatusPresentation presentationOf(LocationPermissionStatus status);

// "State: resolved | Source: nl80211 | Interface: wlan0", with "-" for an unknown interface.
QString activeNetworkDetails(const NetworkIdentity& network);

}  // namespace ostrel
