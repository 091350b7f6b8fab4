// Scenario files and the device state file with NV items, the roaming list and the views of items.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "StandInFixture.h"
#include "simulator/Answers.h"
#include "simulator/DeviceState.h"
#include "simulator/Scenario.h"
#include "wire/LeCursor.h"

namespace velmo::sim::test {
namespace {

DeviceState Applied(const std::string& name) {
    Scenario scenario;
    DeviceState state;
    std::string error;
    EXPECT_TRUE(LoadScenario(name, &scenario, &error)) << error;
    EXPECT_TRUE(ApplyScenario(scenario, &state, &error)) << error;
    return state;
}

TEST(Scenarios, ShippedScenariosDescribeTheirSituations) {
    const std::vector<std::string> expected = {"1x-only",     "card-blocked", "card-pin", "card-puk",
                                               "charging",    "data-call",    "dormant",  "healthy-evdo",
                                               "low-battery", "no-service",   "roaming"};
    EXPECT_EQ(ListScenarios(), expected);

    // The defaults are the healthy device; its file spells them out.
    DeviceState healthy = Applied("healthy-evdo");
    EXPECT_EQ(healthy, DeviceState{});

    const DeviceState oneX = Applied("1x-only");
    EXPECT_EQ(ServiceWord(oneX), 2u);
    EXPECT_FALSE(EvdoUp(oneX));
    const DeviceState none = Applied("no-service");
    EXPECT_EQ(ServiceWord(none), 0u);
    EXPECT_FALSE(EvdoUp(none));
    const DeviceState roaming = Applied("roaming");
    EXPECT_NE(roaming.sid, wire::Get16(roaming.nv.at(NvHomeSidNid), 1));
    EXPECT_EQ(Applied("low-battery").batteryState, 2);
    EXPECT_EQ(Applied("charging").batteryState, 0);
    EXPECT_EQ(Applied("dormant").dormant, 1);
    EXPECT_EQ(Applied("data-call").traffic, 1);
    for (const char* card : {"card-pin", "card-puk", "card-blocked"}) {
        const DeviceState s = Applied(card);
        EXPECT_EQ(s.softwareRevision[5], 'R') << card;
        EXPECT_EQ(s.nv.at(NvCardMode)[0], 0) << card;
        EXPECT_EQ(s.pinEnabled, 1) << card;
        EXPECT_EQ(s.scenario, card);
    }
    EXPECT_EQ(Applied("card-puk").pinAttempts, 0);
    EXPECT_EQ(Applied("card-blocked").pukAttempts, 0);
    EXPECT_NE(DeviceState{}.softwareRevision[5], 'R');  // the healthy modem has no card
}

TEST(Scenarios, BadScenariosAreRefusedWhole) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(ParseScenario("[1, 2]", "x", &s, &error));
    EXPECT_FALSE(ParseScenario("{\"fields\": {\"sid\": 1.5}}", "x", &s, &error));
    EXPECT_FALSE(ParseScenario("{\"colour\": \"red\"}", "x", &s, &error));
    EXPECT_EQ(error, "scenario x: unknown key 'colour' (description, fields, nv)");
    EXPECT_FALSE(ParseScenario("{\"fields\": {\"sid\": 1,", "x", &s, &error));

    ASSERT_TRUE(ParseScenario(R"({"fields": {"sid": 7, "spc_lock": false, "no_such": 1}})", "x", &s, &error));
    DeviceState state;
    state.sid = 99;
    EXPECT_FALSE(ApplyScenario(s, &state, &error));
    EXPECT_EQ(error, "scenario x: unknown field no_such");
    EXPECT_EQ(state.sid, 99);  // untouched

    ASSERT_TRUE(ParseScenario(R"({"fields": {"sid": 7, "spc": "123456", "min": "2125550123"},
                                  "nv": {"1000": "01 02"}})",
                              "x", &s, &error));
    ASSERT_TRUE(ApplyScenario(s, &state, &error)) << error;
    EXPECT_EQ(state.sid, 7);
    EXPECT_EQ(state.scenario, "x");
    EXPECT_EQ(state.nv.at(85)[5], '6');
    EXPECT_EQ(state.nv.at(1000)[1], 2);
    std::string min;
    ASSERT_TRUE(GetStateField(state, "min", &min));
    EXPECT_EQ(min, "2125550123");

    EXPECT_FALSE(LoadScenario("../etc/passwd-ish", &s, &error));
    EXPECT_FALSE(LoadScenario("nowhere", &s, &error));
}

TEST_F(TempFolderTest, ScenarioFilesAreFoundByPathAndInTheFolderOfTheEnvironment) {
    std::ofstream(dir_ + "/mine.json") << R"({"description": "test", "fields": {"sid": 1234}})";
    Scenario s;
    std::string error;
    ASSERT_TRUE(LoadScenario(dir_ + "/mine.json", &s, &error)) << error;
    EXPECT_EQ(s.name, "mine");
    EXPECT_EQ(s.description, "test");
    setenv("VELMO_SIM_SCENARIOS", dir_.c_str(), 1);
    ASSERT_TRUE(LoadScenario("mine", &s, &error)) << error;
    const std::vector<std::string> names = ListScenarios();
    unsetenv("VELMO_SIM_SCENARIOS");
    EXPECT_NE(std::find(names.begin(), names.end(), "mine"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "roaming"), names.end());
}

TEST_F(TempFolderTest, StateFileKeepsItemsAndListButNoViewsOrSessions) {
    const std::string path = dir_ + "/modem-sim.state";
    DeviceState s;
    std::string error;
    ASSERT_TRUE(SetStateField(s, "spc", "654321", &error));
    ASSERT_TRUE(SetStateField(s, "prl_version", "4242", &error));
    ASSERT_TRUE(SetStateField(s, "nv.3000", "0A 0b:0C", &error));
    ASSERT_TRUE(SetStateField(s, "spc_unlocked", "1", &error));
    ASSERT_TRUE(SetStateField(s, "card_mode", "2", &error));
    ASSERT_TRUE(SaveStateFile(path, s, &error)) << error;

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_NE(text.str().find("\nnv.85 = 36 35 34 33 32 31\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\nnv.3000 = 0A 0B 0C\n"), std::string::npos);
    EXPECT_NE(text.str().find("\nnv.855 = 02\n"), std::string::npos);
    EXPECT_NE(text.str().find("\nprl = 00 2C 10 92 "), std::string::npos);
    EXPECT_EQ(text.str().find("spc ="), std::string::npos);
    EXPECT_EQ(text.str().find("spc_unlocked"), std::string::npos);

    DeviceState loaded;
    ASSERT_TRUE(LoadStateFile(path, loaded, &error)) << error;
    s.spcUnlocked = 0;
    EXPECT_EQ(loaded, s);

    // Session fields and views in a file are ignored, bad values too.
    std::ofstream(path) << "spc_unlocked = 1\nspc = 111111\nnv.99999 = 01\nnv.7 = 0G\nprl = 0\nsid = 5\n";
    ASSERT_TRUE(LoadStateFile(path, loaded, &error));
    EXPECT_EQ(loaded.spcUnlocked, 0);
    EXPECT_EQ(loaded.nv.at(85)[0], '0');
    EXPECT_EQ(loaded.nv.count(7), 0u);
    EXPECT_EQ(loaded.prl, DeviceState{}.prl);
    EXPECT_EQ(loaded.sid, 5);
}

TEST(StateFields, DigitViewsEncodeAsTheNamItemsDo) {
    uint16_t group = 0;
    ASSERT_TRUE(EncodeDigitGroup("310", &group));
    EXPECT_EQ(group, 209);
    ASSERT_TRUE(EncodeDigitGroup("000", &group));
    EXPECT_EQ(group, 999);
    ASSERT_TRUE(EncodeDigitGroup("00", &group));
    EXPECT_EQ(group, 99);
    uint32_t min1 = 0;
    ASSERT_TRUE(EncodeMin1("5550123", &min1));
    EXPECT_EQ(min1, 444u << 14 | 10u << 10 | 12u);
    EXPECT_EQ(DecodeMin1(min1), "5550123");
    EXPECT_EQ(DecodeDigitGroup(999, 3), "000");
    EXPECT_FALSE(EncodeMin1("555012", &min1));
    EXPECT_FALSE(EncodeDigitGroup("3a0", &group));

    DeviceState s;
    std::string error;
    EXPECT_FALSE(SetStateField(s, "spc", "12345", &error));
    EXPECT_FALSE(SetStateField(s, "min", "61955501", &error));
    EXPECT_FALSE(SetStateField(s, "pin", "12", &error));
    EXPECT_FALSE(SetStateField(s, "pin_attempts", "4", &error));
    EXPECT_FALSE(SetStateField(s, "service", "lte", &error));
    EXPECT_FALSE(SetStateField(s, "nv.12", std::string(129 * 3, 'A'), &error));
    EXPECT_TRUE(SetStateField(s, "mdn", "2125550123", &error));
    std::string value;
    ASSERT_TRUE(GetStateField(s, "mdn", &value));
    EXPECT_EQ(value, "2125550123");
    EXPECT_EQ(s.nv.at(NvDirNumber)[0], 0);  // NAM index first
}

}  // namespace
}  // namespace velmo::sim::test
