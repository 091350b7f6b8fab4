// Request 60: the user-level commands of the manager. Packets are 3C, version, command, arguments; every
// reply is 128 bytes with the request's first three bytes echoed and the answer from byte 3 on:
//
//   cmd  ver  request arguments            answer (reply byte: field)
//   0    0    -                            3-4 status 0, 5-6 text length n, 7.. identity text and a zero
//   0    1    -                            3-4 status 0, 5-6 capability value
//   5    0    3-4 argument                 3-4 status 0
//   16   0    -                            3 status 0
//   34   1    -                            3-4 status 0, 5-20 w0..w7 (16-bit each):
//                                            w0 notices (bit 0 incoming call, 1 voice mail, 2 phone in use)
//                                            w1 battery: power state << 8 | percent
//                                            w2 bit 0 dormant data call
//                                            w3 -EV-DO level (-125 without EV-DO), w4 user_w4
//                                            w5 1x level magnitude, w6 user_w6, w7 1 while EV-DO is up
//   35   1    -                            3 enable, 4 PIN attempts left, 5 ack, 6 pin_verification
//   36   1    3-10 PIN                     3 enable, 4 PIN attempts left, 5 ack
//   37   1    3 disable flag, 4-11 PIN     as 36; 3 is the new enable
//   38   1    3-10 old PIN, 11-18 new PIN  as 36
//   39   1    -                            3 enable, 4 PUK attempts left, 5 ack
//   40   1    3-10 PUK, 11-18 new PIN      as 39
//
// enable is 0 when the card asks for its PIN at power-up, 1 when it does not. ack is 1 when the card took
// the command, 0 when it refused it (wrong code, no attempts left, no card). pin_verification: 3 the PIN is
// verified or not asked for, 0 the PIN is wanted, 1 the PUK is wanted, 2 the card is blocked. A wrong PIN
// costs one of 3 attempts, a wrong PUK one of 10; the last PIN attempt leaves the PUK, the last PUK attempt
// blocks the card. PIN texts are the bytes up to the first zero of their 8-byte field.
//
// Short-message commands 50, 51, 52 and 54 are answered in SmsBoxes.cpp. Commands and versions not listed
// are echoed.
#include <algorithm>
#include <string>

#include "Answers.h"
#include "ModemSimulator.h"
#include "SmsBoxes.h"
#include "Wire.h"

namespace velmo::sim {

using namespace protocol;
using namespace wire;

namespace {

constexpr uint8_t kPinAttempts = 3;
constexpr uint8_t kPukAttempts = 10;
constexpr size_t kCodeField = 8;
constexpr size_t kArgs = 3;

enum PinVerification : uint8_t { PinWanted = 0, PukWanted = 1, CardBlocked = 2, PinDone = 3 };

struct Key {
    uint8_t command;
    uint8_t version;
    bool operator==(const Key&) const = default;
};

// A code field of the request; empty when the packet is too short for it.
std::string CodeAt(std::span<const uint8_t> r, size_t at) {
    return LeReader(r, at).Text(kCodeField);
}

bool ValidPin(const std::string& pin) {
    return pin.size() >= 4 && pin.size() <= kCodeField &&
           std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; });
}

uint8_t PinVerificationOf(const DeviceState& s) {
    if (s.pukAttempts == 0) {
        return CardBlocked;
    }
    if (s.pinAttempts == 0) {
        return PukWanted;
    }
    return s.pinEnabled == 0 || s.pinVerified != 0 ? PinDone : PinWanted;
}

class Card {
  public:
    explicit Card(RequestContext& ctx) : ctx_(ctx), s_(ctx.state) {}

    // Checks a PIN, counting a wrong one.
    bool CheckPin(const std::string& pin) {
        if (!s_.cardPresent || s_.pinAttempts == 0 || s_.pukAttempts == 0) {
            return false;
        }
        ctx_.stateChanged = true;
        if (pin != s_.pin) {
            --s_.pinAttempts;
            return false;
        }
        s_.pinAttempts = kPinAttempts;
        s_.pinVerified = 1;
        return true;
    }

    bool Unblock(const std::string& puk, const std::string& newPin) {
        if (!s_.cardPresent || s_.pukAttempts == 0 || !ValidPin(newPin)) {
            return false;
        }
        ctx_.stateChanged = true;
        if (puk != s_.puk) {
            --s_.pukAttempts;
            return false;
        }
        s_.pin = newPin;
        s_.pinAttempts = kPinAttempts;
        s_.pukAttempts = kPukAttempts;
        s_.pinVerified = 1;
        return true;
    }

  private:
    RequestContext& ctx_;
    DeviceState& s_;
};

std::vector<uint8_t> CardReply(std::vector<uint8_t> p, const DeviceState& s, bool puk, bool ack) {
    p[3] = s.pinEnabled != 0 ? 0 : 1;
    p[4] = puk ? s.pukAttempts : s.pinAttempts;
    p[5] = ack && s.cardPresent != 0 ? 1 : 0;
    return p;
}

}  // namespace

std::vector<uint8_t> Request60Answer(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    DeviceState& s = ctx.state;
    if (r.size() < kArgs) {
        return Request60Reply(r);
    }
    const Key key{r[2], r[1]};
    std::vector<uint8_t> p = Packet(Request60, protocol::kRequest60ReplySize);
    std::copy_n(r.begin(), kArgs, p.begin());
    Card card(ctx);

    if (key == Key{0, 0}) {
        const size_t n = std::min(s.identity.size(), protocol::kRequest60ReplySize - 8);
        Put16(p, 5, static_cast<uint16_t>(n));
        PutText(p, 7, n + 1, s.identity.substr(0, n), '\0');
        return p;
    }
    if (key == Key{0, 1}) {
        Put16(p, 5, s.capability);
        return p;
    }
    if (key == Key{5, 0} || key == Key{16, 0}) {
        return p;  // the manager is leaving: nothing to do but agree
    }
    if (key == Key{34, 1}) {
        const bool evdo = EvdoUp(s);
        const uint16_t w[8] = {
            s.notices,
            static_cast<uint16_t>(s.batteryState << 8 | s.batteryPercent),
            static_cast<uint16_t>(s.dormant != 0 && s.service != Service::None ? 1 : 0),
            static_cast<uint16_t>(-(evdo ? s.rssiEvdo : 125)),
            static_cast<uint16_t>(s.userW4),
            s.rssi1x,
            static_cast<uint16_t>(s.userW6),
            static_cast<uint16_t>(evdo ? 1 : 0),
        };
        for (size_t i = 0; i < 8; ++i) {
            Put16(p, 5 + 2 * i, w[i]);
        }
        return p;
    }
    if (key == Key{35, 1}) {
        p = CardReply(std::move(p), s, false, true);
        p[6] = PinVerificationOf(s);
        return p;
    }
    if (key == Key{36, 1}) {
        const bool ok = card.CheckPin(CodeAt(r, kArgs));
        return CardReply(std::move(p), s, false, ok);
    }
    if (key == Key{37, 1}) {
        const bool disable = r.size() > kArgs && r[kArgs] != 0;
        const bool ok = card.CheckPin(CodeAt(r, kArgs + 1));
        if (ok) {
            s.pinEnabled = disable ? 0 : 1;
        }
        return CardReply(std::move(p), s, false, ok);
    }
    if (key == Key{38, 1}) {
        const std::string newPin = CodeAt(r, kArgs + kCodeField);
        const bool ok = ValidPin(newPin) && card.CheckPin(CodeAt(r, kArgs));
        if (ok) {
            s.pin = newPin;
        }
        return CardReply(std::move(p), s, false, ok);
    }
    if (key == Key{39, 1}) {
        return CardReply(std::move(p), s, true, true);
    }
    if (key == Key{40, 1}) {
        const bool ok = card.Unblock(CodeAt(r, kArgs), CodeAt(r, kArgs + kCodeField));
        return CardReply(std::move(p), s, true, ok);
    }
    if (std::optional<std::vector<uint8_t>> answer = SmsAnswer(ctx)) {
        return std::move(*answer);
    }
    return Request60Reply(r);
}

}  // namespace velmo::sim
