// A scripted modem for the state machine and the connection control: answers the requests the worker makes
// from a small device state that a test changes between (virtual) moments.
#pragma once

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "StubModem.h"

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
        if (code == 27) {
            const uint16_t m = mode.load();
            out131[5] = static_cast<uint8_t>(m);
            out131[6] = static_cast<uint8_t>(m >> 8);
        }
        return kResultOk;
    }
    int32_t ReadNvItem(int32_t item, uint8_t* out) override {
        Log("nv " + std::to_string(item));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::memset(out, 0, kNvItemSize);
        if (item == 855) {
            const int16_t v = nv855.load();
            out[0] = static_cast<uint8_t>(v);
            out[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
        }
        return kResultOk;
    }
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out) override {
        std::memset(out, 0, kRequest60ReplySize);
        if (count < 3) {
            return kResultNoReply;
        }
        const uint8_t version = request[1];
        const uint8_t command = request[2];
        Log("r60 " + std::to_string(command) + "/" + std::to_string(version));
        if (!answering.load()) {
            return kResultNoReply;
        }
        std::lock_guard<std::mutex> lk(mutex);
        switch (command) {
            case 0:
                if (version == 1) {
                    out[5] = static_cast<uint8_t>(capability);
                    out[6] = static_cast<uint8_t>(capability >> 8);
                } else {
                    out[5] = 4;
                    std::memcpy(out + 7, "Unit", 4);
                }
                break;
            case 5:
                quit5Argument = count >= 5 ? static_cast<uint16_t>(request[3] | (request[4] << 8)) : 0;
                break;
            case 34:
                for (size_t i = 0; i < 8; ++i) {
                    out[5 + 2 * i] = static_cast<uint8_t>(user[i]);
                    out[6 + 2 * i] = static_cast<uint8_t>(user[i] >> 8);
                }
                break;
            case 35:
                out[3] = pinEnabled ? 0 : 1;
                out[4] = static_cast<uint8_t>(pinAttempts);
                out[5] = cardOk ? 1 : 0;
                out[6] = pinVerification;
                break;
            case 36: {
                const bool ok = count >= 11 && Code(request + 3) == pin && pinAttempts > 0;
                if (!ok && pinAttempts > 0) {
                    --pinAttempts;
                }
                out[4] = static_cast<uint8_t>(pinAttempts);
                out[5] = ok ? 1 : 0;
                break;
            }
            case 39:
                out[4] = static_cast<uint8_t>(pukAttempts);
                out[5] = 1;
                break;
            case 40: {
                const bool ok = count >= 19 && Code(request + 3) == puk && pukAttempts > 0;
                if (ok) {
                    pin = Code(request + 11);
                    pinAttempts = 3;
                } else if (pukAttempts > 0) {
                    --pukAttempts;
                }
                out[4] = static_cast<uint8_t>(pukAttempts);
                out[5] = ok ? 1 : 0;
                break;
            }
            default:
                break;
        }
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
    uint16_t user[8] = {};
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
    static std::string Code(const uint8_t* field) {
        size_t n = 0;
        while (n < 8 && field[n] != 0) {
            ++n;
        }
        return std::string(reinterpret_cast<const char*>(field), n);
    }
    void Log(const std::string& r) {
        std::lock_guard<std::mutex> lk(mutex);
        requests.push_back(r);
    }
};

}  // namespace velmo::manager::test
