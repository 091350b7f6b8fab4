// How the modem's status becomes what the main window shows: plain functions of the status copy, the user
// status and the battery word, plus the one-second notice and battery animations of the blink timer.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "DeviceContext.h"

namespace velmo::manager {

// Bars for a signal magnitude in dB below 1 mW (a negative magnitude counts as 0).
int SignalLevelFromMagnitude(int magnitude);
// Bars after a polling cycle; status.NetworkKind holds the mode (parameter 27).
int SignalLevel(const ModemStatusRecord& status, const UserStatus& user, int32_t capability);
// 0 no service, 3 1x, 4 EV-DO.
int NetworkImage(const ModemStatusRecord& status, const UserStatus& user);
// 0 Ethernet, 1 USB with automatic detection, 2 USB on a fixed port, 3 no device.
int ConnectionImage(int32_t linkType, bool automaticPort);

struct BatteryStrip {
    bool setLevel = false;  // false: leave the level to the charging animation
    int level = 0;
    bool charging = false;
};
BatteryStrip BatteryStripFor(uint16_t word);

struct BatteryTexts {
    QString text;
    QString range;
    // The status table shows the range as a percentage, except while charging or without a battery.
    bool rangeIsPercent = true;
};
BatteryTexts BatteryTextsFor(uint16_t word);

// On battery at 20 % or less.
bool LowBattery(uint16_t word);
// The battery word's percentage, -1 without a battery (or for a word the device should not send).
int BatteryPercent(uint16_t word);
// Running on the battery (neither charging, full on the charger, nor in error).
bool OnBatteryPower(uint16_t word);

// Notice candidates by index (1..5) and their texts.
struct Notice {
    int index = 0;  // 0: none
    QString text;
    bool alert = false;
};
Notice NoticeFor(int index);

struct NoticeInputs {
    uint16_t battery = 0xFFFF;
    bool noticeCShown = false;
    bool noticeAShown = false;
    bool voiceMail = false;
};

// The last six notices shown, oldest first; picks the candidate seen least recently (ties: higher index).
class NoticeHistory {
  public:
    // 0 when there is no candidate (nothing is recorded then).
    int Choose(const NoticeInputs& inputs);
    void Clear();
    const std::array<int, 6>& Slots() const { return slots_; }

  private:
    std::array<int, 6> slots_{};
};

// Timer 1 (500 ms): traffic blink every tick; every second tick the charging or low-battery animation and
// the notice line, which alternates between a notice and a blank second.
struct BlinkInputs {
    bool traffic = false;
    int32_t connectionState = 0;
    bool charging = false;
    uint16_t battery = 0xFFFF;
    int batteryLevel = 0;
    NoticeInputs notices;
};
struct BlinkOutputs {
    bool trafficOn = false;
    bool batteryChanged = false;
    int batteryLevel = 0;
    bool noticeChanged = false;
    Notice notice;  // index 0: the notice line is clear
};
class BlinkModel {
  public:
    BlinkOutputs Tick(const BlinkInputs& in);
    void ClearNotices();

  private:
    bool phase_ = false;
    bool noticeShowing_ = false;
    int chargeFrame_ = 2;
    NoticeHistory history_;
};

}  // namespace velmo::manager
