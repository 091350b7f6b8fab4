// The worker's and the dial callback's view of the main window: every call is queued to the window thread
// and returns at once. The window detaches itself before it goes, after which calls are dropped.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>

#include "manager/core/DeviceView.h"

namespace velmo::manager {

class MainWindow;

class QtDeviceView final : public IDeviceView {
  public:
    explicit QtDeviceView(MainWindow* window) : window_(window) {}
    void Detach();

    void SetStatusText(const QString& text) override;
    void SetDeviceStatusCode(int code) override;
    void SetSignalLevel(int level) override;
    void SetBatteryLevel(int level) override;
    void SetChargingAnimation(bool on) override;
    void SetBatteryWord(uint16_t word) override;
    void SetTrafficIndicator(bool on) override;
    void SetVoiceMailIcon(bool on) override;
    void SetNetworkImage(int image) override;
    void SetConnectionImage(int image) override;
    void SetConnectedLook(bool connected) override;
    void SetConnectButtonsEnabled(bool enabled) override;
    void SetMenuShown(bool shown) override;
    void ClearNotices() override;
    void ShowNoticeWindow(NoticeWindowId id) override;
    void StatusRefreshed() override;
    void PostClose() override;

  private:
    void Post(std::function<void(MainWindow&)> action);

    std::mutex mutex_;
    MainWindow* window_;
};

}  // namespace velmo::manager
