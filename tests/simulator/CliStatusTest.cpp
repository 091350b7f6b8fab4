// The real velmo-cli (which loads libVelmoModem.so from beside itself) against the stand-in: its status in
// JSON, what a scenario switch through the control channel changes in it, a parameter backup and restore, and
// the summary of a roaming list download.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliRun.h"
#include "StandInFixture.h"
#include "library/protocol/CommandTable.h"
#include "simulator/ControlServer.h"

extern char** environ;

namespace velmo::sim::test {
namespace {

using Json = nlohmann::json;

// Runs the program with args; its stdout, exit code in *status (-1 when it had to be killed).
std::string RunCli(const std::vector<std::string>& args, int* status) {
    const CliRun run = test::RunCli(args);
    *status = run.status;
    return run.out;
}

class CliStatusTest : public StandInTest {
  protected:
    CliStatusTest() { logStream_ = true; }

    Json Status() {
        int status = 0;
        const std::string out = RunCli({"--port", std::to_string(sim_->Port()), "--json", "status"}, &status);
        EXPECT_EQ(status, 0) << out;
        const Json j = Json::parse(out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << out;
        return j;
    }
};

TEST_F(CliStatusTest, StatusJsonShowsTheStandInAndFollowsItsScenario) {
    const Json j = Status();
    EXPECT_EQ(j["esn"], "8F3A2C11");
    EXPECT_EQ(j["sid"], 4139);
    EXPECT_EQ(j["nid"], 65535);
    EXPECT_EQ(j["channel"], 283);
    EXPECT_EQ(j["rssi1xDbm"], -78);
    // The EV-DO level comes from the log stream, wandering a few dB around the device's level.
    EXPECT_LE(j["rssiEvdoDbm"].get<int>(), -66) << j;
    EXPECT_GE(j["rssiEvdoDbm"].get<int>(), -78) << j;
    EXPECT_EQ(j["inService"], true);
    EXPECT_EQ(j["network"], "EV-DO");
    EXPECT_EQ(j["roaming"], "off");
    EXPECT_EQ(j["firmwareRevision"], 102.6);
    EXPECT_EQ(j["softwareRevision"], "VLM100-R2.07.00 2006/03/14");
    EXPECT_EQ(j["prlVersion"], 10052);
    EXPECT_EQ(j["results"], Json::array({0, 0, 0, 0, 0, 0}));

    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    bool quit = false;
    ASSERT_EQ(control.Execute("scenario no-service", &quit), "ok no-service\n");
    const Json none = Status();
    EXPECT_EQ(none["inService"], false);
    EXPECT_EQ(none["evdoPresent"], false);
    EXPECT_EQ(none["sid"], 0);
    EXPECT_EQ(none["rssi1xDbm"], -125);
    EXPECT_EQ(none["rssiEvdoDbm"], -120);  // no stream: the library's "no level"
}

TEST_F(CliStatusTest, ParameterBackupRestoresItsModemAndRefusesAnother) {
    const std::string port = std::to_string(sim_->Port());
    auto run = [&](std::vector<std::string> args, int expected) {
        args.insert(args.begin(), {"--port", port, "--json"});
        int status = 0;
        const std::string out = RunCli(args, &status);
        EXPECT_EQ(status, expected) << out;
        return Json::parse(out.substr(0, out.find('\n')), nullptr, false);
    };
    auto read = [&](const char* code) { return run({"nam", "read", code}, 0)["value"]; };
    const std::string file = dir_ + "/backups/modem.json";
    const Json saved = run({"--spc", "000000", "nam", "backup", file}, 0);
    EXPECT_EQ(saved["esn"], "8F3A2C11");
    EXPECT_EQ(saved["count"], 18);
    EXPECT_EQ(saved["unread"], Json::array());

    run({"--spc", "000000", "nam", "write", "14", "0"}, 0);
    run({"--spc", "000000", "nam", "write", "12", "100,200"}, 0);
    // Locked, the protected parameters do not take: said so, and they stay as they are.
    EXPECT_EQ(run({"nam", "restore", file}, 19)["ok"], false);
    EXPECT_EQ(read("12"), "100,200");

    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    const std::string other = dir_ + "/other.json";
    std::string edited = text.str();
    edited.replace(edited.find("8F3A2C11"), 8, "8F3A2C12");
    std::ofstream(other) << edited;
    sim_->ClearRequests();
    const Json refused = run({"--spc", "000000", "nam", "restore", other}, 1);
    EXPECT_NE(refused["error"].get<std::string>().find("ESN 8F3A2C12"), std::string::npos) << refused;
    EXPECT_TRUE(RequestsOf(protocol::NvWriteRequest).empty());

    EXPECT_EQ(run({"--spc", "000000", "nam", "restore", file}, 0)["ok"], true);
    EXPECT_EQ(read("14"), "1");
    EXPECT_EQ(read("12"), "4139,65535");
}

TEST_F(CliStatusTest, PrlDownloadSummarisesItsBlocks) {
    const std::vector<uint8_t> list = MakePrl(0x0BEE, 300);
    const std::string file = dir_ + "/list.prl";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(list.data()), 300);
    int status = 0;
    const std::string out =
        RunCli({"--port", std::to_string(sim_->Port()), "--spc", "000000", "--json", "prl", "download", file},
               &status);
    ASSERT_EQ(status, 0) << out;
    const Json j = Json::parse(out, nullptr, false);
    EXPECT_EQ(j["blocks"], 3) << out;
    EXPECT_EQ(j["bytes"], 300);
    EXPECT_GE(j["milliseconds"].get<int>(), 0);
    EXPECT_EQ(sim_->State().prl, list);
}

}  // namespace
}  // namespace velmo::sim::test
