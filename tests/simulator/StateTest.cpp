// The stand-in's persistent device state, fault texts and control lines.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "StandInFixture.h"
#include "simulator/ControlServer.h"
#include "simulator/DeviceState.h"
#include "simulator/SmsBoxes.h"

namespace velmo::sim::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(TempFolderTest, MissingStateFileMeansDefaultsAndIsCreated) {
    const std::string path = dir_ + "/nested/folder/modem-sim.state";
    DeviceState state;
    state.sid = 1;
    std::string error;
    ASSERT_TRUE(LoadStateFile(path, state, &error)) << error;
    EXPECT_EQ(state, DeviceState{});
    EXPECT_EQ(ReadFile(path), FormatState(DeviceState{}));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(TempFolderTest, StateFileRoundTripsAndSkipsBadLines) {
    const std::string path = dir_ + "/modem-sim.state";
    DeviceState changed;
    std::string error;
    ASSERT_TRUE(SetStateField(changed, "esn", "0x12345678", &error));
    ASSERT_TRUE(SetStateField(changed, "software_revision", "R 1.0 test build", &error));
    ASSERT_TRUE(SetStateField(changed, "time_offset_ms", "-3600000", &error));
    ASSERT_TRUE(SaveStateFile(path, changed, &error)) << error;
    DeviceState loaded;
    ASSERT_TRUE(LoadStateFile(path, loaded, &error)) << error;
    EXPECT_EQ(loaded, changed);
    // Nothing but the file itself is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);

    std::ofstream(path) << "# comment\n  sid = 22 \nnid=0x10\nbogus = 1\nchannel = 70000\nno equals sign\n";
    ASSERT_TRUE(LoadStateFile(path, loaded, &error));
    EXPECT_EQ(loaded.sid, 22);
    EXPECT_EQ(loaded.nid, 16);
    EXPECT_EQ(loaded.channel, DeviceState{}.channel);  // out of range: default kept
    EXPECT_EQ(loaded.esn, DeviceState{}.esn);          // fields not in the file start from defaults
}

TEST(StateFields, ValuesAreCheckedAgainstTheirReplyFields) {
    DeviceState s;
    std::string error;
    EXPECT_FALSE(SetStateField(s, "sid", "65536", &error));
    EXPECT_FALSE(SetStateField(s, "sid", "-1", &error));
    EXPECT_FALSE(SetStateField(s, "sid", "12x", &error));
    EXPECT_FALSE(SetStateField(s, "cai_revision", "256", &error));
    EXPECT_FALSE(SetStateField(s, "compile_date", "March 14 2006", &error));  // 11 characters at most
    EXPECT_FALSE(SetStateField(s, "software_revision", "tab\there", &error));
    EXPECT_FALSE(SetStateField(s, "operating_mode", "sleeping", &error));
    EXPECT_FALSE(SetStateField(s, "no_such_field", "1", &error));
    EXPECT_EQ(s, DeviceState{});
    EXPECT_TRUE(SetStateField(s, "firmware_revision", "0xFFFF", &error));
    EXPECT_EQ(s.firmwareRevision, 0xFFFF);
    // Any clock offset is taken; a message stamped with the largest ones saturates instead of overflowing.
    for (const char* offset : {"9223372036854775807", "-9223372036854775807"}) {
        ASSERT_TRUE(SetStateField(s, "time_offset_ms", offset, &error)) << error;
        std::vector<uint8_t> report;
        EXPECT_TRUE(DeliverSms(s, "6195550199", "hi", &report, &error)) << error;
    }
}

TEST_F(TempFolderTest, DefaultStatePathFollowsTheEnvironment) {
    const std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
    setenv("HOME", "/home/someone", 1);
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultStatePath(), "/home/someone/.local/state/velmo/modem-sim.state");
    setenv("XDG_STATE_HOME", "/var/xdg", 1);
    EXPECT_EQ(DefaultStatePath(), "/var/xdg/velmo/modem-sim.state");
    setenv("VELMO_SIM_STATE", "/elsewhere/sim.state", 1);
    EXPECT_EQ(DefaultStatePath(), "/elsewhere/sim.state");
    unsetenv("VELMO_SIM_STATE");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", home.c_str(), 1);
    // The control socket sits beside the ports folder.
    EXPECT_EQ(DefaultControlPath(), dir_ + "/sim/control.sock");
}

TEST(Faults, TextsParseAndPrintBack) {
    EXPECT_EQ(ParseFault("none"), Fault{});
    EXPECT_EQ(ParseFault("no-reply:0x5D"), (Fault{FaultMode::NoReply, 0x5D, 0}));
    EXPECT_EQ(ParseFault("slow"), (Fault{FaultMode::Slow, -1, kDefaultSlowMs}));
    EXPECT_EQ(ParseFault("slow:12=250"), (Fault{FaultMode::Slow, 12, 250}));
    EXPECT_EQ(ParseFault("vanish:any"), (Fault{FaultMode::Vanish, -1, 0}));
    EXPECT_FALSE(ParseFault("no-reply:0x100"));
    EXPECT_FALSE(ParseFault("no-reply:"));
    EXPECT_FALSE(ParseFault("slow=fast"));
    EXPECT_FALSE(ParseFault("sometimes"));
    for (const char* text :
         {"reply-only-to-retry:0x00", "error-status:0x3C", "bad-fcs", "flood", "slow:0x0C=40"}) {
        const auto fault = ParseFault(text);
        ASSERT_TRUE(fault) << text;
        EXPECT_EQ(ParseFault(FormatFault(*fault)), fault) << text;
    }
}

TEST_F(StandInTest, ControlLinesDriveTheStandIn) {
    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    bool quit = false;
    EXPECT_EQ(control.Execute("fault slow 0x0C 250", &quit), "ok slow:0x0C=250\n");
    EXPECT_EQ(sim_->CurrentFault(), (Fault{FaultMode::Slow, 0x0C, 250}));
    EXPECT_EQ(control.Execute("fault no-reply any", &quit), "ok no-reply\n");
    EXPECT_EQ(control.Execute("fault error-status:0x3C", &quit), "ok error-status:0x3C\n");
    EXPECT_EQ(control.Execute("fault flood 0x0C 1 2", &quit).rfind("error ", 0), 0u);
    EXPECT_EQ(control.Execute("fault sometimes", &quit).rfind("error ", 0), 0u);
    EXPECT_EQ(control.Execute("clear", &quit), "ok\n");
    EXPECT_EQ(sim_->CurrentFault(), Fault{});

    EXPECT_EQ(control.Execute("set software_revision  Build 7 (test) ", &quit), "ok\n");
    EXPECT_EQ(sim_->State().softwareRevision, "Build 7 (test)");
    EXPECT_EQ(control.Execute("set sid many", &quit).rfind("error sid: ", 0), 0u);
    EXPECT_EQ(control.Execute("set sid", &quit).rfind("error ", 0), 0u);
    EXPECT_EQ(control.Execute("get software_revision", &quit), "ok Build 7 (test)\n");
    EXPECT_EQ(control.Execute("get nv.5", &quit), "ok 02\n");
    EXPECT_EQ(control.Execute("get frobnicate", &quit).rfind("error unknown field", 0), 0u);
    EXPECT_EQ(control.Execute("set prl_size 10", &quit).rfind("error prl_size", 0), 0u);

    const std::string status = control.Execute("status", &quit);
    EXPECT_EQ(status.rfind("ok\n", 0), 0u);
    EXPECT_NE(status.find("\nsoftware_revision = Build 7 (test)\n"), std::string::npos);
    EXPECT_NE(status.find("\nport = " + std::to_string(sim_->Port()) + "\n"), std::string::npos);
    EXPECT_TRUE(status.ends_with("\nend\n"));
    EXPECT_EQ(control.Execute("requests", &quit), "ok\nend\n");
    EXPECT_EQ(control.Execute("frobnicate", &quit).rfind("error unknown command", 0), 0u);
    EXPECT_FALSE(quit);
    EXPECT_EQ(control.Execute("quit", &quit), "ok\n");
    EXPECT_TRUE(quit);
}

}  // namespace
}  // namespace velmo::sim::test
