// Request 60 as the manager uses it: the packets on the wire exactly as the builder table makes them, and the
// stand-in's answers at the offsets the manager reads — identity, capability, quit sequence, user status and
// the RUIM card with its PIN and PUK.
#include <gtest/gtest.h>

#include "SessionFixture.h"

namespace velmo::sim::test {
namespace {

using namespace protocol;

class Request60Test : public SessionTest {};

struct WireCase {
    const char* what;
    Bytes packet;  // as the manager builds it
    Bytes wire;    // as the builder sends it
};

TEST_F(Request60Test, PacketsGoOutAsTheBuilderTableMakesThem) {
    Open();
    const Bytes pin = CodeField("1234");
    const Bytes other = CodeField("87654321");
    const WireCase cases[] = {
        {"identity", {0x3C, 0, 0}, {0x3C, 0, 0}},
        {"capability", {0x3C, 1, 0}, {0x3C, 1, 0}},
        {"quit 5", {0x3C, 0, 5, 3, 0}, {0x3C, 0, 5, 3, 0}},
        {"quit 16", {0x3C, 0, 16}, {0x3C, 0, 16}},
        {"user status", {0x3C, 1, 34, 0, 0}, {0x3C, 1, 34}},
        {"card status", {0x3C, 1, 35}, {0x3C, 1, 35}},
        {"verify", Concat({{0x3C, 1, 36}, pin}), Concat({{0x3C, 1, 36}, pin})},
        {"enable", Concat({{0x3C, 1, 37, 1}, pin}), Concat({{0x3C, 1, 37, 1}, pin})},
        {"change", Concat({{0x3C, 1, 38}, pin, other}), Concat({{0x3C, 1, 38}, pin, other})},
        {"puk check", {0x3C, 1, 39}, {0x3C, 1, 39}},
        {"unblock", Concat({{0x3C, 1, 40}, other, pin}), Concat({{0x3C, 1, 40}, other, pin})},
    };
    for (const WireCase& c : cases) {
        const Bytes reply = Send60(c.packet);
        ASSERT_FALSE(reply.empty()) << c.what;
        EXPECT_EQ(LastRequest(Request60), c.wire) << c.what;
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), Bytes(c.wire.begin(), c.wire.begin() + 3))
            << c.what;
        EXPECT_EQ(sim_->Answers().back().size(), protocol::kRequest60ReplySize) << c.what;
    }
}

TEST_F(Request60Test, IdentityCapabilityQuitSequenceAndUserStatus) {
    Open();
    Bytes r = Send60({0x3C, 0, 0});
    ASSERT_FALSE(r.empty());
    const std::string identity = "VLM100 EV-DO USB modem";
    EXPECT_EQ(wire::Get16(r, 3), 0);
    EXPECT_EQ(wire::Get16(r, 5), identity.size());
    EXPECT_EQ(std::string(r.begin() + 7, r.begin() + 7 + static_cast<std::ptrdiff_t>(identity.size())),
              identity);
    EXPECT_EQ(r[7 + identity.size()], 0);

    // Replies are checked for their full size first: a failed call (empty) must not read as zero words.
    r = Send60({0x3C, 1, 0});
    ASSERT_EQ(r.size(), protocol::kRequest60ReplySize);
    EXPECT_EQ(wire::Get16(r, 3), 0);
    EXPECT_EQ(wire::Get16(r, 5), 1);
    Set("capability", "0xFFFD");
    EXPECT_EQ(wire::Get16(Send60({0x3C, 1, 0}), 5), 0xFFFD);

    r = Send60({0x3C, 0, 5, 3, 0});
    ASSERT_EQ(r.size(), protocol::kRequest60ReplySize);
    EXPECT_EQ(wire::Get16(r, 3), 0);
    EXPECT_EQ(Send60({0x3C, 0, 16})[3], 0);

    // User status: notices, battery word, dormancy, both signals, second-network flag.
    r = Send60({0x3C, 1, 34, 0, 0});
    ASSERT_EQ(r.size(), protocol::kRequest60ReplySize);
    EXPECT_EQ(wire::Get16(r, 3), 0);
    const uint16_t healthy[8] = {0,  0x0164, 0, static_cast<uint16_t>(-72), static_cast<uint16_t>(-7),
                                 78, 9,      1};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(wire::Get16(r, 5 + 2 * i), healthy[i]) << "w" << i;
    }
    std::string error;
    ASSERT_TRUE(sim_->SwitchScenario("low-battery", &error)) << error;
    Set("notices", "0x0006");
    Set("dormant", "1");
    r = Send60({0x3C, 1, 34, 0, 0});
    EXPECT_EQ(wire::Get16(r, 5), 6);
    EXPECT_EQ(wire::Get16(r, 7), 0x020F);  // on battery, 15 %
    EXPECT_EQ(wire::Get16(r, 9), 1);
    ASSERT_TRUE(sim_->SwitchScenario("charging", &error)) << error;
    EXPECT_EQ(wire::Get16(Send60({0x3C, 1, 34, 0, 0}), 7), 0x002D);
    ASSERT_TRUE(sim_->SwitchScenario("1x-only", &error)) << error;
    r = Send60({0x3C, 1, 34, 0, 0});
    ASSERT_EQ(r.size(), protocol::kRequest60ReplySize);
    EXPECT_EQ(static_cast<int16_t>(wire::Get16(r, 11)), -125);  // no EV-DO level
    EXPECT_EQ(wire::Get16(r, 15), 86);
    EXPECT_EQ(wire::Get16(r, 19), 0);

    // A message count for a code that names no box comes back echoed, with nothing counted.
    const Bytes sms = {0x3C, 1, 54, 2};
    r = Send60(sms);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 4), sms);
}

class CardTest : public SessionTest {
  protected:
    CardTest() { scenario_ = "card-pin"; }

    // Command 35: enable, remained time, uim_ack, pin_verification.
    Bytes CardStatus() {
        const Bytes r = Send60({0x3C, 1, 35});
        return r.empty() ? r : Bytes(r.begin() + 3, r.begin() + 7);
    }
    // Commands 36 to 40: enable, remained time, uim_ack.
    Bytes Card(const Bytes& packet) {
        const Bytes r = Send60(packet);
        return r.empty() ? r : Bytes(r.begin() + 3, r.begin() + 6);
    }
    Bytes Verify(const std::string& pin) { return Card(Concat({{0x3C, 1, 36}, CodeField(pin)})); }
};

TEST_F(CardTest, PinVerificationAttemptsAndTheCardMode) {
    Open();
    ModemStatusRecord r{};
    ASSERT_EQ(modem_->QueryStatus(&r, 1), kResultOk);
    EXPECT_EQ(r.SoftwareRevision[5], 'R');
    uint8_t item[128] = {};
    ASSERT_EQ(modem_->ReadNvItem(855, item), kResultOk);
    EXPECT_EQ(wire::Get16(item, 0), 0);  // card required

    EXPECT_EQ(CardStatus(), (Bytes{0, 3, 1, 0}));  // asks for the PIN, 3 attempts, card ok, PIN wanted
    EXPECT_EQ(Verify("9999"), (Bytes{0, 2, 0}));
    EXPECT_EQ(Verify("123"), (Bytes{0, 1, 0}));  // a short code is just wrong
    EXPECT_EQ(Verify("1234"), (Bytes{0, 3, 1}));
    EXPECT_EQ(CardStatus(), (Bytes{0, 3, 1, 3}));

    // Attempts survive a restart of the stand-in; verification does not (the card lost power).
    EXPECT_EQ(Verify("0000"), (Bytes{0, 2, 0}));
    RestartStandIn();
    Open();
    EXPECT_EQ(CardStatus(), (Bytes{0, 2, 1, 0}));
    EXPECT_EQ(Verify("1234"), (Bytes{0, 3, 1}));
    // A reset loses it too.
    ASSERT_EQ(modem_->ResetModem(), kResultOk);
    std::this_thread::sleep_for(resetSilence_ + 50ms);
    EXPECT_EQ(CardStatus(), (Bytes{0, 3, 1, 0}));
}

TEST_F(CardTest, PinRequestOnAndOffAndPinChange) {
    Open();
    const Bytes pin = CodeField("1234");
    // Off (flag 1) needs the right PIN; a wrong one costs an attempt and changes nothing.
    EXPECT_EQ(Card(Concat({{0x3C, 1, 37, 1}, CodeField("1111")})), (Bytes{0, 2, 0}));
    EXPECT_EQ(Card(Concat({{0x3C, 1, 37, 1}, pin})), (Bytes{1, 3, 1}));
    EXPECT_EQ(sim_->State().pinEnabled, 0);
    EXPECT_EQ(CardStatus()[3], 3);  // nothing wanted at power-up
    EXPECT_EQ(Card(Concat({{0x3C, 1, 37, 0}, pin})), (Bytes{0, 3, 1}));
    EXPECT_EQ(sim_->State().pinEnabled, 1);

    EXPECT_EQ(Card(Concat({{0x3C, 1, 38}, pin, CodeField("12")})), (Bytes{0, 3, 0}));  // new PIN too short
    EXPECT_EQ(Card(Concat({{0x3C, 1, 38}, CodeField("4321"), CodeField("5678")})), (Bytes{0, 2, 0}));
    EXPECT_EQ(Card(Concat({{0x3C, 1, 38}, pin, CodeField("56781234")})), (Bytes{0, 3, 1}));
    EXPECT_EQ(Verify("1234"), (Bytes{0, 2, 0}));
    EXPECT_EQ(Verify("56781234"), (Bytes{0, 3, 1}));
}

TEST_F(CardTest, ThreeWrongPinsLeaveThePukAndTenWrongPuksBlockTheCard) {
    Open();
    for (int i = 0; i < 3; ++i) {
        Verify("0000");
    }
    EXPECT_EQ(CardStatus(), (Bytes{0, 0, 1, 1}));  // PUK wanted
    EXPECT_EQ(Verify("1234"), (Bytes{0, 0, 0}));   // even the right PIN is refused now
    EXPECT_EQ(Card({0x3C, 1, 39}), (Bytes{0, 10, 1}));

    const Bytes newPin = CodeField("2468");
    EXPECT_EQ(Card(Concat({{0x3C, 1, 40}, CodeField("11111111"), newPin})), (Bytes{0, 9, 0}));
    EXPECT_EQ(Card(Concat({{0x3C, 1, 40}, CodeField("12345678"), newPin})), (Bytes{0, 10, 1}));
    EXPECT_EQ(CardStatus(), (Bytes{0, 3, 1, 3}));
    EXPECT_EQ(Verify("2468"), (Bytes{0, 3, 1}));

    for (int i = 0; i < 3; ++i) {
        Verify("0000");
    }
    for (int i = 0; i < 10; ++i) {
        Card(Concat({{0x3C, 1, 40}, CodeField("00000000"), newPin}));
    }
    EXPECT_EQ(CardStatus(), (Bytes{0, 0, 1, 2}));  // blocked
    EXPECT_EQ(Card({0x3C, 1, 39}), (Bytes{0, 0, 1}));
    EXPECT_EQ(Card(Concat({{0x3C, 1, 40}, CodeField("12345678"), newPin})), (Bytes{0, 0, 0}));
}

TEST_F(CardTest, ShippedCardScenariosAndAMissingCard) {
    Open();
    std::string error;
    ASSERT_TRUE(sim_->SwitchScenario("card-puk", &error)) << error;
    EXPECT_EQ(CardStatus(), (Bytes{0, 0, 1, 1}));
    EXPECT_EQ(Card({0x3C, 1, 39}), (Bytes{0, 10, 1}));
    ASSERT_TRUE(sim_->SwitchScenario("card-blocked", &error)) << error;
    EXPECT_EQ(CardStatus(), (Bytes{0, 0, 1, 2}));
    EXPECT_EQ(Card({0x3C, 1, 39}), (Bytes{0, 0, 1}));
    ASSERT_TRUE(sim_->SwitchScenario("card-pin", &error)) << error;
    Set("card_present", "0");
    EXPECT_EQ(CardStatus()[2], 0);
    EXPECT_EQ(Verify("1234")[2], 0);
    EXPECT_EQ(sim_->State().pinAttempts, 3);  // nobody to count it
}

}  // namespace
}  // namespace velmo::sim::test
