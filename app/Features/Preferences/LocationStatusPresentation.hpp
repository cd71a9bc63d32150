#pragma once

#include <QString>

#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "UI/StatusColors.hpp"

namespace ostrel {

// What the screen shows for a location permission status: its title in its colour, the
// sentence that explains it, and which of the three actions it offers.
struct LocationStatusPresentation {
    QString title;
    Tint color = Hierarchy::secondary;
    QString message;
    bool grantAccess = false;
    bool openLocationSettings = false;
    bool refreshStatus = true;
};

LocationStatusPresentation presentationOf(LocationPermissionStatus status);

// "State: resolved | Source: nl80211 | Interface: ", which the interface's name follows ("-" for
// an unknown interface).
QString activeNetworkDetailsPrefix(const NetworkIdentity& network);

}  // namespace ostrel
