// What the session controller asks of the windows: the five monitoring
// views, the connection window, the main form and the settings dialog. The
// controller knows them only through this interface, so it runs without
// widgets; the windows implement it, tests record it and the command-line
// client prints what it needs. Every call comes on the main thread.
#pragma once

#include "Protocol.h"

#include <cstdint>
#include <optional>
#include <string>

class TLANObject;

class ISessionViews {
public:
    enum class TView { Objects, Attributes, Parameters, Controls, Commands };

    virtual ~ISessionViews() = default;

    // Objects view.
    virtual void Clear() {}
    virtual void DeviceAdded(TLANObject& /*device*/) {}
    // Any view: show the tables of the current device again.
    virtual void Rebuild(TView /*view*/) {}
    // Parameters view: scanning allowed; false also stops its scan timer.
    virtual void Enable(bool /*on*/) {}
    virtual void UpdateValues() {}
    virtual void UpdateIndicators() {}
    // Attributes view: one attribute's text arrived.
    virtual void SetAttributeValue(int /*index*/, const std::string& /*text*/) {}
    // Controls view: one control's value arrived.
    virtual void SetControlValue(int /*index*/, int /*value*/) {}

    // Connection window.
    virtual void ShowHubState(std::uint8_t /*state*/) {}
    virtual void FillHistory() {}
    // "Request", "Refresh" and "Disconnect".
    virtual void EnableSessionActions(bool /*on*/) {}
    // The cancel button shown while a modem dials.
    virtual void ShowCancelDialing(bool /*on*/) {}
    // Time of the last traffic, as text.
    virtual void SetLabelTime(const std::string& /*text*/) {}

    // Main form: the session could not open or is over; the window closes
    // the connection shortly after. Never called inside a dispatch.
    virtual void SessionLost() {}
    virtual void StopAnimation() {}

    // Settings dialog, while it is open.
    virtual bool SettingsDialogOpen() { return false; }
    virtual void ShowDeviceClock(const TDeviceClock& /*clock*/) {}
    virtual void ShowCalibration(int /*value*/) {}

    // A message box with one of the system's fixed texts.
    virtual void ShowMessage(const std::string& text) = 0;
    // The "Access control" dialog: the typed password on OK, none on Cancel.
    virtual std::optional<std::string> AskPassword() = 0;
};
