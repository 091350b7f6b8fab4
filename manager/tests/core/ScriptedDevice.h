// A scripted modem for the state machine and the connection control: answers the requests the worker makes
// from a small device state that a test changes between (virtual) moments.
#pragma once

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "StubModem.h"
#include "manager/core/Parameters.h"
#include "manager/core/Request60.h"

namespace velmo::manager::test {

class ScriptedDevice : public StubModem {
  public:
    int32_t OpenSerialPort(int32_t port, int32_t) override {
        opens.fetch_add(1);
        lastPort.store(port);
        return present.load() ? kResultOk : kResultPortOpenFailed;
    }
    // The Ethernet unit is never there.
    int32_t OpenNetworkLink(int32_t) override {
        etherOpens.fetch_add(1);
        return 0;
    }
    int32_t QueryStatus(ModemStatusRecord* out, int32_t kind) override {
        Log("status " + std::to_string(kind));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::lock_guard<std::mutex> lk(mutex);
        *out = status;
        return kResultOk;
    }
    int32_t ReadNamParameter(int32_t code, uint8_t* out131) override {
        Log("parameter " + std::to_string(code));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::memset(out131, 0, kNamParameterReplySize);
        if (code == Raw(ParamCode::PrefMode)) {
            wire::Put16(std::span<uint8_t>(out131, kNamParameterReplySize), 5, mode.load());
        }
        return kResultOk;
    }
    int32_t ReadNvItem(int32_t item, uint8_t* out) override {
        Log("nv " + std::to_string(item));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::memset(out, 0, kNvItemSize);
        if (item == kNvRuimMode) {
            wire::Put16(std::span<uint8_t>(out, kNvItemSize), 0, static_cast<uint16_t>(nv855.load()));
        }
        return kResultOk;
    }
    // Request 60 answered through the manager's own rows: the packet is recognised by its row and the answer
    // written with the row's reply writers.
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out) override {
        std::memset(out, 0, kRequest60ReplySize);
        const wire::ConstBytes packet(request, static_cast<size_t>(count < 0 ? 0 : count));
        const r60::Row* row = r60::FindRow(packet);
        if (row == nullptr) {
            return kResultNoReply;
        }
        Log("r60 " + std::to_string(row->command) + "/" + std::to_string(row->version));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::vector<uint8_t> reply = r60::EmptyReply(*row, packet);
        std::lock_guard<std::mutex> lk(mutex);
        const bool complete = packet.size() >= row->requestLength;
        switch (row->id) {
            case r60::Command::DeviceText:
                r60::PutDeviceText(reply, "Unit");
                break;
            case r60::Command::Capability:
                r60::PutValue(reply, capability);
                break;
            case r60::Command::QuitMode:
                quit5Argument = complete ? r60::WordArgument(packet) : 0;
                break;
            case r60::Command::UserStatus:
                r60::PutUserStatus(reply, user);
                break;
            case r60::Command::CardStatus:
                r60::PutCard(*row, reply,
                             {uint8_t(pinEnabled ? 0 : 1), static_cast<uint8_t>(pinAttempts),
                              uint8_t(cardOk ? 1 : 0), pinVerification});
                break;
            case r60::Command::VerifyPin: {
                const bool ok = complete && r60::CodeArgument(*row, packet) == pin && pinAttempts > 0;
                if (!ok && pinAttempts > 0) {
                    --pinAttempts;
                }
                r60::PutCard(*row, reply, {0, static_cast<uint8_t>(pinAttempts), uint8_t(ok ? 1 : 0), 0});
                break;
            }
            case r60::Command::PukStatus:
                r60::PutCard(*row, reply, {0, static_cast<uint8_t>(pukAttempts), 1, 0});
                break;
            case r60::Command::UnblockPin: {
                const bool ok = complete && r60::CodeArgument(*row, packet) == puk && pukAttempts > 0;
                if (ok) {
                    pin = r60::CodeArgument(*row, packet, 1);
                    pinAttempts = 3;
                } else if (pukAttempts > 0) {
                    --pukAttempts;
                }
                r60::PutCard(*row, reply, {0, static_cast<uint8_t>(pukAttempts), uint8_t(ok ? 1 : 0), 0});
                break;
            }
            default:
                break;
        }
        std::memcpy(out, reply.data(), kRequest60ReplySize);
        return kResultOk;
    }
    int32_t Dial(DialStateCallback callback, const char* entry, const char* number, const char* userName,
                 const char* password) override {
        std::lock_guard<std::mutex> lk(mutex);
        dials.push_back(std::string(entry) + "|" + number + "|" + userName + "|" + password);
        dialCallback = callback;
        return kResultOk;
    }
    int32_t HangUp(int32_t) override {
        hangUps.fetch_add(1);
        return kResultOk;
    }

    size_t CountOf(const std::string& request) {
        std::lock_guard<std::mutex> lk(mutex);
        size_t n = 0;
        for (const std::string& r : requests) {
            n += r == request ? 1 : 0;
        }
        return n;
    }

    std::atomic<bool> present{true};
    std::atomic<bool> answering{true};
    std::atomic<uint16_t> mode{1};
    std::atomic<int16_t> nv855{1};
    std::atomic<int> opens{0};
    std::atomic<int> etherOpens{0};
    std::atomic<int32_t> lastPort{0};
    std::atomic<int> hangUps{0};

    std::mutex mutex;  // everything below
    ModemStatusRecord status{};
    uint16_t capability = 1;
    std::array<uint16_t, r60::kUserStatusWords> user{};
    bool cardOk = true;
    bool pinEnabled = false;  // the card asks for the PIN at power-up
    uint8_t pinVerification = 0;
    int pinAttempts = 3;
    int pukAttempts = 10;
    std::string pin = "1234";
    std::string puk = "12345678";
    uint16_t quit5Argument = 0;
    std::vector<std::string> requests;
    std::vector<std::string> dials;
    DialStateCallback dialCallback = nullptr;

  private:
    void Log(const std::string& r) {
        std::lock_guard<std::mutex> lk(mutex);
        requests.push_back(r);
    }
};

}  // namespace velmo::manager::test
