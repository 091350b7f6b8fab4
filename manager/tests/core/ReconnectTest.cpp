// Dialling again after a drop, in virtual time: the attempts at 5, 15 and 30 s, success, the last failure,
// the user's disconnect, another program's connection, and a device that stays away.
#include <gtest/gtest.h>

#include "manager/core/Reconnect.h"

namespace velmo::manager {
namespace {

using Action = CReconnect::Action;

class ReconnectTest : public ::testing::Test {
  protected:
    ReconnectTest() {
        in.enabled = true;
        in.ownCall = true;
        in.connectionState = kConnConnected;
        EXPECT_EQ(Tick(), Action::None);
    }
    // One tick of the window's 500 ms timer.
    Action Tick() {
        now += 500;
        return reconnect.Update(in, now);
    }
    // Ticks until an action or the limit; the time it came at, from the call.
    std::pair<Action, uint32_t> RunUntilAction(uint32_t limitMs) {
        const uint32_t start = now;
        while (now - start < limitMs) {
            const Action a = Tick();
            if (a != Action::None) {
                return {a, now - start};
            }
        }
        return {Action::None, now - start};
    }
    // The dial fails: the device is closed, searched for and found again a few seconds later.
    void FailDial() {
        in.dialErrors += 1;
        in.connectionState = kConnNone;
        EXPECT_EQ(Tick(), Action::None);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(Tick(), Action::None);
        }
        in.connectionState = kConnReady;
    }

    CReconnect reconnect;
    ReconnectInputs in;
    uint32_t now = 100000;
};

TEST_F(ReconnectTest, ThreeAttemptsAfterFiveFifteenAndThirtySecondsThenOneGiveUp) {
    in.connectionState = kConnReady;  // the drop, seen at this tick
    EXPECT_EQ(Tick(), Action::None);
    auto [action, after] = RunUntilAction(60000);
    EXPECT_EQ(action, Action::Dial);
    EXPECT_EQ(after, 5000u);
    EXPECT_TRUE(reconnect.Active());
    EXPECT_EQ(reconnect.Attempt(), 1);

    FailDial();
    std::tie(action, after) = RunUntilAction(60000);
    EXPECT_EQ(action, Action::Dial);
    EXPECT_EQ(after, 15000u - 3000u);  // counted from the failure, 3 s of which went in the search
    EXPECT_EQ(reconnect.Attempt(), 2);

    FailDial();
    std::tie(action, after) = RunUntilAction(60000);
    EXPECT_EQ(action, Action::Dial);
    EXPECT_EQ(after, 30000u - 3000u);
    EXPECT_EQ(reconnect.Attempt(), 3);

    in.dialErrors += 1;
    in.connectionState = kConnNone;
    EXPECT_EQ(Tick(), Action::GaveUp);
    EXPECT_FALSE(reconnect.Active());
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(120000).first, Action::None);
}

TEST_F(ReconnectTest, SuccessOrTheUsersDisconnectEndTheAttempts) {
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::Dial);
    in.connectionState = kConnConnected;
    EXPECT_EQ(Tick(), Action::None);
    EXPECT_FALSE(reconnect.Active());
    // A new drop starts anew from the first attempt.
    in.connectionState = kConnNoNetwork;
    EXPECT_EQ(Tick(), Action::None);
    EXPECT_EQ(reconnect.Attempt(), 1);
    // The user hangs up while the attempt is waited for.
    in.disconnectAsked = true;
    EXPECT_EQ(Tick(), Action::None);
    EXPECT_FALSE(reconnect.Active());
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::None);
}

TEST_F(ReconnectTest, NoAttemptAfterTheUsersDisconnectOrForAnotherProgramsCall) {
    in.disconnectAsked = true;
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::None);

    in.disconnectAsked = false;
    in.connectionState = kConnConnected;
    in.ownCall = false;
    Tick();
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::None);

    // Switched off.
    in.ownCall = true;
    in.enabled = false;
    in.connectionState = kConnConnected;
    Tick();
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::None);
}

TEST_F(ReconnectTest, ADeviceAwayForAMinuteIsLostAndTheAttemptsEnd) {
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::Dial);
    in.dialErrors += 1;
    in.connectionState = kConnNone;
    Tick();
    // Searched for, not found: not yet lost at 59 s.
    in.connectionState = kConnDeviceFound;
    EXPECT_EQ(RunUntilAction(58000).first, Action::None);
    EXPECT_TRUE(reconnect.Active());
    EXPECT_EQ(RunUntilAction(2000).first, Action::None);
    EXPECT_FALSE(reconnect.Active());
    in.connectionState = kConnReady;
    EXPECT_EQ(RunUntilAction(60000).first, Action::None);
}

}  // namespace
}  // namespace velmo::manager
