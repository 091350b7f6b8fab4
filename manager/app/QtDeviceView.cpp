#include "QtDeviceView.h"

#include "MainWindow.h"

namespace velmo::manager {

void QtDeviceView::Detach() {
    std::lock_guard<std::mutex> lk(mutex_);
    window_ = nullptr;
}

void QtDeviceView::Post(std::function<void(MainWindow&)> action) {
    std::lock_guard<std::mutex> lk(mutex_);
    if (window_ == nullptr) {
        return;
    }
    MainWindow* window = window_;
    QMetaObject::invokeMethod(
        window, [window, action = std::move(action)] { action(*window); }, Qt::QueuedConnection);
}

void QtDeviceView::SetStatusText(const QString& text) {
    Post([text](MainWindow& w) { w.SetStatusText(text); });
}
void QtDeviceView::SetDeviceStatusCode(int code) {
    Post([code](MainWindow& w) { w.SetDeviceStatusCode(code); });
}
void QtDeviceView::SetSignalLevel(int level) {
    Post([level](MainWindow& w) { w.SetSignalLevel(level); });
}
void QtDeviceView::SetBatteryLevel(int level) {
    Post([level](MainWindow& w) { w.SetBatteryLevel(level); });
}
void QtDeviceView::SetChargingAnimation(bool on) {
    Post([on](MainWindow& w) { w.SetChargingAnimation(on); });
}
void QtDeviceView::SetBatteryWord(uint16_t word) {
    Post([word](MainWindow& w) { w.SetBatteryWord(word); });
}
void QtDeviceView::SetTrafficIndicator(bool on) {
    Post([on](MainWindow& w) { w.SetTrafficFlag(on); });
}
void QtDeviceView::SetVoiceMailIcon(bool on) {
    Post([on](MainWindow& w) { w.SetVoiceMailIcon(on); });
}
void QtDeviceView::SetNetworkImage(int image) {
    Post([image](MainWindow& w) { w.SetNetworkImage(image); });
}
void QtDeviceView::SetConnectionImage(int image) {
    Post([image](MainWindow& w) { w.SetConnectionImage(image); });
}
void QtDeviceView::SetConnectedLook(bool connected) {
    Post([connected](MainWindow& w) { w.SetConnectedLook(connected); });
}
void QtDeviceView::SetConnectButtonsEnabled(bool enabled) {
    Post([enabled](MainWindow& w) { w.SetConnectButtonsEnabled(enabled); });
}
void QtDeviceView::SetMenuShown(bool shown) {
    Post([shown](MainWindow& w) { w.SetMenuShown(shown); });
}
void QtDeviceView::ClearNotices() {
    Post([](MainWindow& w) { w.ClearNotices(); });
}
void QtDeviceView::ShowNoticeWindow(NoticeWindowId id) {
    Post([id](MainWindow& w) { w.ShowNoticeWindow(id); });
}
void QtDeviceView::StatusRefreshed() {
    Post([](MainWindow& w) { w.StatusRefreshed(); });
}
void QtDeviceView::PostClose() {
    Post([](MainWindow& w) { w.Shutdown(); });
}

}  // namespace velmo::manager
