// The dialling settings of the INI section "DIALING", kept as the texts and
// flags they are stored as; the dialer converts the numeric ones when it
// starts, so a bad value is reported where it is used.
#pragma once

#include <string>

struct TDialSettings {
    std::string DialUsing = "P";
    std::string AccesOutideCallLocal;
    std::string AccesOutideCallDistance;
    bool WaitDialtone = true;
    bool CancelCall = true;
    std::string CancelCallTime = "32"; // tens of seconds to wait for a connect result
    bool Autoanswer = false;
    std::string NumberRings = "3";
    std::string AreaCode;
    std::string Phone;
    std::string PinCode;
    std::string TryToConnect = "60";
    std::string WaitAttempts = "3"; // seconds between two attempts
    bool EnableIdleDisconnect = true;
    std::string DisconnectIfIdle = "10";
};
