#include "StatusModel.h"

#include "PrefMode.h"
#include "Texts.h"

namespace velmo::manager {

namespace {

constexpr uint16_t kNoBatteryWord = 0xFFFF;
constexpr int kMaxPercent = 100;
constexpr int kLowPercent = 20;

// Power states of the battery word's high byte.
constexpr int kPowerCharging = 0;
constexpr int kPowerFull = 1;
constexpr int kPowerBattery = 2;
constexpr int kPowerError = 3;

constexpr int kFirstChargeFrame = 2;
constexpr int kLastChargeFrame = 6;

int PowerState(uint16_t word) {
    return word >> 8;
}
int Percent(uint16_t word) {
    return word & 0xFF;
}

// Nothing the strip or the texts can show: no battery, or a word the device should not send.
bool NoBattery(uint16_t word) {
    return word == kNoBatteryWord || Percent(word) > kMaxPercent || PowerState(word) > kPowerError;
}

int LevelFromPercent(int p) {
    if (p >= 80) {
        return 6;
    }
    if (p >= 60) {
        return 5;
    }
    if (p >= 40) {
        return 4;
    }
    if (p >= 21) {
        return 3;
    }
    if (p >= 1) {
        return 2;
    }
    return 1;
}

bool InService(const ModemStatusRecord& status) {
    return status.InService != 0;
}

// EV-DO is the network in use: the modem is EV-DO only, or hybrid and camped on the second network.
bool OnEvdo(const ModemStatusRecord& status, const UserStatus& user) {
    return status.NetworkKind == prefmode::kModemEvdoOnly ||
           (status.NetworkKind == prefmode::kModemHybrid && user.secondNetwork != 0);
}

}  // namespace

int SignalLevelFromMagnitude(int magnitude) {
    const int s = magnitude < 0 ? 0 : magnitude;
    if (s == 0) {
        return 2;
    }
    if (s <= 88) {
        return 7;
    }
    if (s <= 93) {
        return 6;
    }
    if (s <= 98) {
        return 5;
    }
    if (s <= 103) {
        return 4;
    }
    if (s <= 111) {
        return 3;
    }
    return 2;
}

int SignalLevel(const ModemStatusRecord& status, const UserStatus& user, int32_t capability) {
    if (LacksUserStatus(capability)) {
        if (!InService(status)) {
            return 1;
        }
        return SignalLevelFromMagnitude(status.NetworkKind == prefmode::kModemEvdoOnly ? status.RssiEvdo
                                                                                       : status.Rssi1x);
    }
    if (OnEvdo(status, user)) {
        if (!InService(status) && status.EvdoPresent == 0) {
            return 1;
        }
        return SignalLevelFromMagnitude(user.evdoMagnitude);
    }
    return InService(status) ? SignalLevelFromMagnitude(user.oneXMagnitude) : 1;
}

int NetworkImage(const ModemStatusRecord& status, const UserStatus& user) {
    if (!InService(status) && status.EvdoPresent == 0) {
        return 0;
    }
    return OnEvdo(status, user) ? 4 : 3;
}

int ConnectionImage(int32_t linkType, bool automaticPort) {
    switch (linkType) {
        case 0:
            return 0;
        case 1:
            return automaticPort ? 1 : 2;
        default:
            return 3;
    }
}

BatteryStrip BatteryStripFor(uint16_t word) {
    BatteryStrip strip;
    if (NoBattery(word)) {
        strip.setLevel = true;
        strip.level = 0;
        return strip;
    }
    const int p = Percent(word);
    const int level = LevelFromPercent(p);
    switch (PowerState(word)) {
        case kPowerFull:
            strip.setLevel = true;
            strip.level = level;
            break;
        case kPowerBattery:
            // An empty battery is left to the low-battery blink.
            strip.setLevel = level != 1;
            strip.level = level;
            break;
        case kPowerError:
            strip.setLevel = true;
            strip.level = 1;
            break;
        default:  // charging
            if (p > 0) {
                strip.charging = true;
            } else {
                strip.setLevel = true;
                strip.level = 7;
            }
            break;
    }
    return strip;
}

BatteryTexts BatteryTextsFor(uint16_t word) {
    if (NoBattery(word)) {
        return {Tr::tr("Brak baterii"), QString(), false};
    }
    const int p = Percent(word);
    switch (PowerState(word)) {
        case kPowerFull:
            return {Tr::tr("Ładowanie zakończone"), QStringLiteral("100")};
        case kPowerBattery:
            if (p <= kLowPercent) {
                return {Tr::tr("Niski poziom baterii"), QStringLiteral("0~30")};
            }
            if (p >= 80) {
                return {Tr::tr("Zasilanie bateryjne"), QStringLiteral("80~100")};
            }
            if (p >= 60) {
                return {Tr::tr("Zasilanie bateryjne"), QStringLiteral("60~80")};
            }
            // 21..29 lies in the lowest range, 30..39 in the middle one.
            if (p >= 30) {
                return {Tr::tr("Zasilanie bateryjne"), QStringLiteral("30~60")};
            }
            return {Tr::tr("Zasilanie bateryjne"), QStringLiteral("0~30")};
        case kPowerError:
            return {Tr::tr("Błąd"), QString()};
        default:
            if (p > 0) {
                return {Tr::tr("Ładowanie"), QStringLiteral("--"), false};
            }
            return {Tr::tr("Brak baterii"), QStringLiteral("--"), false};
    }
}

bool LowBattery(uint16_t word) {
    return PowerState(word) == kPowerBattery && Percent(word) <= kLowPercent;
}

int BatteryPercent(uint16_t word) {
    return NoBattery(word) ? -1 : Percent(word);
}

bool OnBatteryPower(uint16_t word) {
    return !NoBattery(word) && PowerState(word) == kPowerBattery;
}

Notice NoticeFor(int index) {
    switch (index) {
        case 1:
            return {1, Tr::tr("Błąd baterii"), true};
        case 2:
            return {2, Tr::tr("Niski poziom baterii"), true};
        case 3:
            return {3, Tr::tr("Telefon w użyciu"), false};
        case 4:
            return {4, Tr::tr("Połączenie przychodzące"), false};
        case 5:
            return {5, Tr::tr("Poczta głosowa"), false};
        default:
            return {};
    }
}

int NoticeHistory::Choose(const NoticeInputs& inputs) {
    const bool candidates[] = {
        false,
        PowerState(inputs.battery) == kPowerError,
        LowBattery(inputs.battery),
        inputs.noticeCShown,
        inputs.noticeAShown,
        inputs.voiceMail,
    };
    int chosen = 0;
    int chosenAge = 0;
    for (int index = 1; index <= 5; ++index) {
        if (!candidates[index]) {
            continue;
        }
        int age = 0;
        for (int pos = 0; pos < static_cast<int>(slots_.size()); ++pos) {
            if (slots_[pos] == index) {
                age = pos;
            }
        }
        // Ascending indexes: an equal age goes to the later, higher one.
        if (chosen == 0 || age <= chosenAge) {
            chosen = index;
            chosenAge = age;
        }
    }
    if (chosen != 0) {
        for (size_t pos = 1; pos < slots_.size(); ++pos) {
            slots_[pos - 1] = slots_[pos];
        }
        slots_.back() = chosen;
    }
    return chosen;
}

void NoticeHistory::Clear() {
    slots_.fill(0);
}

BlinkOutputs BlinkModel::Tick(const BlinkInputs& in) {
    BlinkOutputs out;
    phase_ = !phase_;
    out.trafficOn = in.traffic && in.connectionState == kConnConnected && phase_;
    out.batteryLevel = in.batteryLevel;
    if (!phase_) {
        return out;
    }

    if (in.charging) {
        out.batteryChanged = true;
        out.batteryLevel = chargeFrame_;
        chargeFrame_ = chargeFrame_ >= kLastChargeFrame ? kFirstChargeFrame : chargeFrame_ + 1;
    } else {
        chargeFrame_ = kFirstChargeFrame;
        if (LowBattery(in.battery)) {
            out.batteryChanged = true;
            out.batteryLevel = in.batteryLevel == 1 ? 0 : 1;
        }
    }

    if (noticeShowing_) {
        noticeShowing_ = false;
        out.noticeChanged = true;
        return out;
    }
    const int index = history_.Choose(in.notices);
    if (index != 0) {
        noticeShowing_ = true;
        out.noticeChanged = true;
        out.notice = NoticeFor(index);
    }
    return out;
}

void BlinkModel::ClearNotices() {
    history_.Clear();
    noticeShowing_ = false;
}

}  // namespace velmo::manager
