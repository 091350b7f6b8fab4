// A modem's four message boxes behind a scripted interface object: it answers counts, reads, stores and
// deletes in the reply layouts of the message module, and logs every request with the virtual time it came.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "StubModem.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/DeviceContext.h"
#include "manager/core/ModemSession.h"
#include "manager/core/Request60.h"
#include "platform/Clock.h"
#include "sms/SmsRecord.h"

namespace velmo::manager::test {

class SmsStub : public StubModem {
  public:
    explicit SmsStub(platform::FakeClock& clock) : clock_(clock) {}

    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) override {
        std::memset(out128, 0, kRequest60ReplySize);
        const std::vector<uint8_t> p(request, request + std::max(count, 0));
        std::lock_guard lock(mutex);
        if (p.size() < 4 || r60::FindRow(p) == nullptr) {
            return kResultNoReply;
        }
        std::copy_n(p.begin(), 4, out128);
        if (p[2] == sms::kCountCommand) {
            Log("count " + std::to_string(p[3]));
            const auto box = sms::BoxOfCountCode(p[3]);
            if (failCounts > 0 || !box) {
                --failCounts;
                return kResultNoReply;
            }
            out128[4] = countOverride >= 0 ? static_cast<uint8_t>(countOverride)
                                           : static_cast<uint8_t>(boxes[static_cast<size_t>(*box)].size());
        } else if (p[2] == sms::kStoreCommand && p.size() == sms::kStoreRequestSize) {
            const uint8_t op = p[3];
            const uint8_t code = p[4];
            Log("store " + std::to_string(op) + " " + std::to_string(code));
            stored.push_back(sms::Decode(std::span(p).subspan(5)));
            if (failStores > 0) {
                --failStores;
                return kResultNoReply;
            }
            out128[5] = storeStatuses.empty() ? 0 : storeStatuses.front();
            if (!storeStatuses.empty()) {
                storeStatuses.erase(storeStatuses.begin());
            }
            out128[6] = 1;
            if (const auto box = sms::BoxOfCode(code)) {
                auto& list = boxes[static_cast<size_t>(*box)];
                sms::Message m = stored.back();
                if (op == static_cast<uint8_t>(sms::StoreOp::Rewrite)) {
                    for (auto& held : list) {
                        if (held.slot == m.slot) {
                            held = m;
                        }
                    }
                } else {
                    m.slot = nextSlot++;
                    list.push_back(m);
                }
            }
        } else if (p[2] == sms::kDeleteCommand && p.size() == 5) {
            Log("delete " + std::to_string(p[3]) + " " + std::to_string(p[4]));
            const auto box = sms::BoxOfCode(p[3]);
            if (failDeletes > 0 || !box) {
                --failDeletes;
                return kResultNoReply;
            }
            auto& list = boxes[static_cast<size_t>(*box)];
            std::erase_if(list, [&](const sms::Message& m) { return p[4] == 0xFF || m.slot == p[4]; });
            out128[4] = p[4];
        } else {
            return kResultNoReply;
        }
        return kResultOk;
    }

    int32_t SendRequest60Large(const uint8_t* request, int32_t count, uint8_t* out1086) override {
        std::memset(out1086, 0, kRequest60LargeReplySize);
        std::lock_guard lock(mutex);
        if (count != 5 || request[2] != sms::kReadCommand) {
            return kResultNoReply;
        }
        Log("read " + std::to_string(request[3]) + " " + std::to_string(request[4]));
        const auto box = sms::BoxOfCode(request[3]);
        const size_t position = request[4];
        if (!box || position == static_cast<size_t>(failReadAt) ||
            position >= boxes[static_cast<size_t>(*box)].size()) {
            return kResultNoReply;
        }
        std::copy_n(request, 4, out1086);
        out1086[5] = 1;
        const auto record = sms::Encode(boxes[static_cast<size_t>(*box)][position]);
        std::copy(record.begin(), record.end(), out1086 + sms::kReadRecordAt);
        return kResultOk;
    }

    int32_t ReadNamParameter(int32_t, uint8_t* out131) override {
        std::memset(out131, 0, kNamParameterReplySize);
        std::memcpy(out131 + 5, ownNumber.data(), ownNumber.size());
        return kResultOk;
    }

    void FormatTimeStamp(int32_t seconds, char* out18) override { std::snprintf(out18, 18, "t%d", seconds); }

    // "at <virtual ms> <request>" lines.
    std::vector<std::string> Log() const {
        std::lock_guard lock(mutex);
        return log;
    }
    void ClearLog() {
        std::lock_guard lock(mutex);
        log.clear();
        stored.clear();
    }
    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const std::string& line : Log()) {
            out.push_back(line.substr(line.find(' ', 3) + 1));
        }
        return out;
    }

    mutable std::mutex mutex;
    std::array<std::vector<sms::Message>, sms::kBoxCount> boxes;
    std::vector<sms::Message> stored;    // every store's record, in order
    std::vector<uint8_t> storeStatuses;  // the next stores' statuses (0 after them)
    std::string ownNumber = "5550001111";
    int failReadAt = -1;
    int failCounts = 0;
    int failStores = 0;
    int failDeletes = 0;
    int countOverride = -1;
    uint8_t nextSlot = 40;

  private:
    void Log(const std::string& what) {
        log.push_back("at " + std::to_string(clock_.Elapsed()) + " " + what);
    }
    platform::FakeClock& clock_;
    std::vector<std::string> log;
};

struct SmsRig {
    SmsRig() {
        wrapper.Attach(&stub);
        context.workerStepping.store(0);
        context.connectionState.store(5);
    }
    ~SmsRig() { wrapper.Attach(nullptr); }
    ModemSession Session() { return ModemSession(wrapper, context, clock); }

    platform::FakeClock clock;
    SmsStub stub{clock};
    CModemWrapper wrapper;
    DeviceContext context;
};

inline sms::Message Received(uint8_t slot, const char16_t* text, uint16_t readStatus = sms::kNotRead,
                             uint8_t priority = 0) {
    sms::Message m;
    m.slot = slot;
    m.priority = priority;
    m.timeStamp = 1000u + slot;
    m.number = "555000" + std::to_string(slot);
    m.text = std::u16string(text);  // built, then moved: GCC 12 warns wrongly on assigning a literal
    m.readStatus = readStatus;
    return m;
}

}  // namespace velmo::manager::test
