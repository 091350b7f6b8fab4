// What the device worker and the dial-state callback show. Every call only stores a value and queues a
// repaint on the window thread: none of them blocks or touches a widget directly.
#pragma once

#include <QString>

#include "DeviceContext.h"

namespace velmo::manager {

class IDeviceView {
  public:
    virtual ~IDeviceView() = default;

    // The panel's line of text; an unchanged text causes no redraw. The connect button is enabled exactly
    // when the text is "Gotowy".
    virtual void SetStatusText(const QString& text) = 0;
    // Code 0..4 for the settings window; the text is set separately.
    virtual void SetDeviceStatusCode(int code) = 0;
    virtual void SetSignalLevel(int level) = 0;   // 0..7
    virtual void SetBatteryLevel(int level) = 0;  // 0..7
    virtual void SetChargingAnimation(bool on) = 0;
    virtual void SetBatteryWord(uint16_t word) = 0;  // drives the low-battery blink and the notices
    virtual void SetTrafficIndicator(bool on) = 0;
    virtual void SetVoiceMailIcon(bool on) = 0;
    virtual void SetNetworkImage(int image) = 0;     // 0..4, -1 none
    virtual void SetConnectionImage(int image) = 0;  // 0..3
    // Connected look: disconnect shown, connect hidden; idle look the reverse.
    virtual void SetConnectedLook(bool connected) = 0;
    virtual void SetConnectButtonsEnabled(bool enabled) = 0;
    // The menu button when a device is up, its disabled twin otherwise.
    virtual void SetMenuShown(bool shown) = 0;
    virtual void ClearNotices() = 0;
    // Shows notice window A, B or C; the caller has already tested and set its shown-flag.
    virtual void ShowNoticeWindow(NoticeWindowId id) = 0;
    // A polling cycle copied new status into the context: refresh the advanced status window if open.
    virtual void StatusRefreshed() = 0;
    // The worker has finished: run the shutdown on the window thread.
    virtual void PostClose() = 0;
};

}  // namespace velmo::manager
