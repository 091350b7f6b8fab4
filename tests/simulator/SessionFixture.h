// A library session (ModemService over the real pty) against an in-process stand-in, with helpers for the
// request-60 packets and for restarting the stand-in on the same state file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "StandInFixture.h"
#include "library/service/ModemService.h"
#include "platform/Clock.h"
#include "wire/LeCursor.h"

namespace velmo::sim::test {

inline constexpr int32_t kBaud = 115200;

// An 8-byte card code field.
inline Bytes CodeField(const std::string& code) {
    Bytes field(8, 0);
    std::copy_n(code.begin(), std::min<size_t>(code.size(), 8), field.begin());
    return field;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

class SessionTest : public StandInTest {
  protected:
    void SetUp() override {
        StandInTest::SetUp();
        if (fakeTime_) {
            modem_ = std::make_unique<service::ModemService>(clock_);
        } else {
            modem_ = std::make_unique<service::ModemService>();
        }
    }
    void TearDown() override {
        modem_.reset();
        StandInTest::TearDown();
    }

    // Opens the session and forgets the handshake's requests.
    void Open() {
        ASSERT_EQ(modem_->OpenSerialPort(sim_->Port(), kBaud), kResultOk);
        // The report level request of the handshake has no wait: let it land before counting requests.
        ASSERT_TRUE(Eventually([&] { return !RequestsOf(protocol::ReportLevelRequest).empty(); }));
        sim_->ClearRequests();
    }

    // Stops the stand-in and starts a new one on the same state file (the library's port is closed first).
    void RestartStandIn(const std::string& scenario = {}) {
        modem_->ClosePort();
        const std::string path = sim_->StatePath();
        sim_.reset();
        ModemSimulator::Options options;
        options.statePath = path;
        options.logStream = logStream_;
        options.scenario = scenario;
        options.resetSilence = resetSilence_;
        sim_ = std::make_unique<ModemSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }

    // Request 60 through the library; the reply (128 bytes), or empty when the call failed.
    Bytes Send60(const Bytes& packet) {
        Bytes out(protocol::kRequest60ReplySize, 0xEE);
        if (modem_->SendRequest60(packet.data(), static_cast<int32_t>(packet.size()), out.data()) !=
            kResultOk) {
            return {};
        }
        return out;
    }

    // The last request of the code that reached the stand-in.
    Bytes LastRequest(uint8_t code) const {
        const std::vector<LoggedRequest> r = RequestsOf(code);
        return r.empty() ? Bytes{} : r.back().packet;
    }

    void Set(const std::string& field, const std::string& value) {
        std::string error;
        ASSERT_TRUE(sim_->SetField(field, value, &error)) << error;
    }

    // Virtual time (set before SetUp) for tests that sit through time-outs.
    bool fakeTime_ = false;
    platform::FakeClock clock_{0, std::chrono::milliseconds(250)};
    std::unique_ptr<service::ModemService> modem_;
};

}  // namespace velmo::sim::test
