// What the window tests share: private folders for everything the manager and the dial-up service write, the
// stand-in with its AT port on a fixed diagnostic port, and the quit requests it received.
#pragma once

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "simulator/AtPort.h"
#include "simulator/ModemSimulator.h"

namespace velmo::manager::test {

class StandInRig {
  public:
    // Call from the test's init(): QVERIFY inside returns from it.
    bool Prepare() {
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid()) {
            return false;
        }
        const QByteArray base = dir_->path().toUtf8();
        qputenv("XDG_CONFIG_HOME", base + "/config");
        qputenv("XDG_STATE_HOME", base + "/state");
        qputenv("VELMO_PORTS_DIR", base + "/ports");
        qputenv("VELMO_PHONEBOOK_DIR", base + "/phonebook");
        qputenv("VELMO_DIALUP_RUNTIME_DIR", base + "/dialup");
        qputenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1");
        return true;
    }

    // The stand-in with the scenario, its AT port, and the settings of a fixed port on it (automatic
    // detection never sees a pty). Empty on success, else what went wrong.
    std::string Start(const std::string& scenario) {
        sim::ModemSimulator::Options options;
        options.statePath = (dir_->path() + QStringLiteral("/modem-sim.state")).toStdString();
        options.scenario = scenario;
        sim_ = std::make_unique<sim::ModemSimulator>(options);
        std::string error;
        if (!sim_->Start(&error)) {
            return error;
        }
        atPort_ = std::make_unique<sim::AtPort>();
        if (!atPort_->Start("Brivanta Modem " + std::to_string(sim_->Port()), &error)) {
            return error;
        }
        if (!PrepareSettingsFile()) {
            return "settings file";
        }
        CSettings::StoreFixedPort(static_cast<uint32_t>(sim_->Port()));
        return {};
    }

    void Stop() {
        atPort_.reset();
        sim_.reset();
        dir_.reset();
    }

    // Whether request 60's two quit packets (commands 5 and 16) arrived after the first `from` requests.
    bool QuitRequestsSince(size_t from) const {
        bool quit5 = false;
        bool quit16 = false;
        const auto requests = sim_->Requests();
        for (size_t i = from; i < requests.size(); ++i) {
            const auto& p = requests[i].packet;
            quit5 = quit5 || (p.size() >= 3 && p[0] == 0x3C && p[2] == 5);
            quit16 = quit16 || (p.size() >= 3 && p[0] == 0x3C && p[2] == 16);
        }
        return quit5 && quit16;
    }

    QString Dir() const { return dir_->path(); }
    sim::ModemSimulator& Sim() { return *sim_; }
    sim::AtPort& AtPort() { return *atPort_; }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<sim::ModemSimulator> sim_;
    std::unique_ptr<sim::AtPort> atPort_;
};

}  // namespace velmo::manager::test
