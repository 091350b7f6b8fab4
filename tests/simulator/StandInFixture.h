// A fresh ports folder and state file per test, and an in-process stand-in publishing its port there.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "library/transport/FrameCodec.h"
#include "simulator/ModemSimulator.h"

namespace velmo::sim::test {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The frame the codec makes of a packet.
inline Bytes Frame(const Bytes& packet) {
    transport::TxFrame tx;
    const size_t n = transport::EncodePacket(packet.data(), packet.size(), tx);
    return Bytes(tx.bytes.begin(), tx.bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// Polls pred until it holds or the bound passes (a hang guard, not a timing check).
inline bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds bound = 3s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmo-sim-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("VELMO_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
        unsetenv("VELMO_SIM_STATE");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
};

class StandInTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ModemSimulator::Options options;
        options.statePath = dir_ + "/modem-sim.state";
        options.resetSilence = resetSilence_;
        options.logStream = logStream_;
        options.scenario = scenario_;
        sim_ = std::make_unique<ModemSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }
    void TearDown() override {
        sim_.reset();
        TempFolderTest::TearDown();
    }

    // Requests of one code the stand-in has logged.
    std::vector<LoggedRequest> RequestsOf(uint8_t code) const {
        std::vector<LoggedRequest> out;
        for (const LoggedRequest& r : sim_->Requests()) {
            if (!r.packet.empty() && r.packet[0] == code) {
                out.push_back(r);
            }
        }
        return out;
    }

    std::chrono::milliseconds resetSilence_{300};
    // Off unless a test wants it: streamed frames would interleave with the replies tests count.
    bool logStream_ = false;
    std::string scenario_;
    std::unique_ptr<ModemSimulator> sim_;
};

}  // namespace velmo::sim::test
