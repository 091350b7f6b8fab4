// The card test commands as a flow: nothing is paused or sent before the user agrees, the confirmed code goes
// out in its field, the worker is released afterwards, and the answer is shown with the command's title.
#include <gtest/gtest.h>

#include <cstring>

#include "CardStub.h"
#include "Recorders.h"
#include "manager/core/CardFlow.h"

namespace velmo::manager::test {
namespace {

TEST(CardFlow, CardTestSendsNothingWithoutConfirmation) {
    CardRig rig;
    RecordingPrompt prompt;
    const ModemSession session = rig.Session();
    CCardFlow flow(session, prompt, CCardFlow::Caller::Screen);
    for (CardTest test : kCardTests) {
        prompt.answers.push_back(PromptAnswer::No);
        flow.OnCardTest(test);
    }
    const std::vector<PromptRecord> questions = prompt.Records();
    ASSERT_EQ(questions.size(), 7u);
    EXPECT_TRUE(rig.stub.Packets().empty());
    EXPECT_EQ(rig.context.lockFlag.load(), 0);
    for (const PromptRecord& q : questions) {
        EXPECT_EQ(q.buttons, PromptButtons::YesNo);
        EXPECT_EQ(q.caption, QStringLiteral("Advanced Status"));
        EXPECT_EQ(q.IconName(), "exclamation");
    }
    // The questions name the codes they would send.
    EXPECT_TRUE(questions[1].text.contains(QStringLiteral("\"1234\"")));
    EXPECT_TRUE(questions[6].text.contains(QStringLiteral("\"12345678\"")));
}

TEST(CardFlow, CardTestSendsTheConfirmedCodeAndShowsTheAnswer) {
    CardRig rig;
    // Nothing is paused before the user agrees.
    struct CheckingPrompt : RecordingPrompt {
        explicit CheckingPrompt(DeviceContext& c) : context(c) {}
        PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                             PromptButtons buttons) override {
            if (buttons == PromptButtons::YesNo && context.lockFlag.load() != 0) {
                pausedWhileAsking = true;
            }
            return RecordingPrompt::Message(text, caption, icon, buttons);
        }
        DeviceContext& context;
        bool pausedWhileAsking = false;
    } prompt(rig.context);
    const ModemSession session = rig.Session();
    CCardFlow flow(session, prompt, CCardFlow::Caller::Screen);
    const auto last = [&] { return prompt.Records().back(); };

    flow.OnCardTest(CardTest::Status);
    ASSERT_EQ(rig.stub.Packets().size(), 1u);
    EXPECT_EQ(rig.stub.Packets()[0], std::vector<uint8_t>({60, 1, 35}));
    EXPECT_EQ(last().caption, QStringLiteral("response of get uim status"));
    EXPECT_EQ(last().text,
              QStringLiteral("enable = 1, remained time = 3, uim_ack = 1, pin_verification = 2"));

    flow.OnCardTest(CardTest::VerifyPin);
    const std::vector<uint8_t> verify = {60, 1, 36, '1', '2', '3', '4', 0, 0, 0, 0};
    EXPECT_EQ(rig.stub.Packets().back(), verify);
    EXPECT_EQ(last().caption, QStringLiteral("response of PIN Verify"));
    EXPECT_EQ(last().text, QStringLiteral("enable = 1, remained time = 3, uim_ack = 1"));

    flow.OnCardTest(CardTest::DisablePin);
    EXPECT_EQ(rig.stub.Packets().back().at(3), uint8_t(1));
    EXPECT_EQ(last().caption, QStringLiteral("response of PIN disable"));
    flow.OnCardTest(CardTest::EnablePin);
    EXPECT_EQ(rig.stub.Packets().back().at(3), uint8_t(0));
    EXPECT_EQ(last().caption, QStringLiteral("response of PIN enable"));
    flow.OnCardTest(CardTest::ChangePin);
    EXPECT_EQ(rig.stub.Packets().back().at(2), uint8_t(38));
    EXPECT_EQ(last().caption, QStringLiteral("response of PIN Change"));
    flow.OnCardTest(CardTest::PukStatus);
    EXPECT_EQ(rig.stub.Packets().back(), std::vector<uint8_t>({60, 1, 39}));
    EXPECT_EQ(last().caption, QStringLiteral("response of PUK Check"));
    flow.OnCardTest(CardTest::UnblockPin);
    EXPECT_EQ(rig.stub.Packets().back().at(2), uint8_t(40));
    EXPECT_EQ(rig.stub.Packets().back().at(3), uint8_t('1'));
    EXPECT_EQ(rig.stub.Packets().back().at(10), uint8_t('8'));
    EXPECT_EQ(prompt.Messages().size(), 14u);  // a question and an answer each
    EXPECT_FALSE(prompt.pausedWhileAsking);
    // The worker is released after every command.
    EXPECT_EQ(rig.context.lockFlag.load(), 0);
}

// A worker that does not stop within the bound: the command still goes out after 22 steps of 100 ms, and the
// worker is released afterwards.
TEST(CardFlow, AWorkerThatDoesNotStopCostsTheBoundAndIsReleased) {
    CardRig rig;
    rig.context.workerStepping.store(1);
    RecordingPrompt prompt;
    const ModemSession session = rig.Session();
    const uint64_t before = rig.clock.Elapsed();
    CCardFlow(session, prompt, CCardFlow::Caller::Screen).OnCardTest(CardTest::Status);
    EXPECT_EQ(rig.clock.Elapsed() - before, 2200u);
    EXPECT_EQ(rig.stub.Packets().size(), 1u);
    EXPECT_EQ(rig.context.lockFlag.load(), 0);
}

}  // namespace
}  // namespace velmo::manager::test

namespace velmo::manager::test {
namespace {

// The RUIM tab's two commands.
class RuimFlowTest : public ::testing::Test {
  protected:
    void SetUp() override { rig_.context.connectionState.store(kConnReady); }
    CCardFlow Flow() { return CCardFlow(session_, prompt_, CCardFlow::Caller::Screen); }

    CardRig rig_;
    ModemSession session_ = rig_.Session();
    RecordingPrompt prompt_;
};

TEST_F(RuimFlowTest, PinRequestFollowsTheCardsAnswer) {
    // "Wyłączone" checked: command 37 with the disable flag and the typed PIN; the card answers enable 1.
    prompt_.pins = {QStringLiteral("1234"), QStringLiteral("1234"), QStringLiteral("1234"), std::nullopt};
    rig_.context.pinRequest.store(1);
    const uint64_t before = rig_.clock.Elapsed();
    Flow().OnApplyPinRequest(true);
    EXPECT_EQ(rig_.stub.Packets().back(),
              (std::vector<uint8_t>{60, 1, 37, 1, '1', '2', '3', '4', 0, 0, 0, 0}));
    EXPECT_EQ(rig_.clock.Elapsed() - before, 100u);  // the wait after the command
    EXPECT_EQ(rig_.context.pinRequest.load(), 0);
    EXPECT_EQ(rig_.context.lockFlag.load(), 0);
    // "Włączone": the card now asks at power-up (enable 0).
    rig_.stub.answer = {0, 3, 1, 0};
    Flow().OnApplyPinRequest(false);
    EXPECT_EQ(rig_.stub.Packets().back().at(3), 0);
    EXPECT_EQ(rig_.context.pinRequest.load(), 1);
    // Refused: "Błąd: Brak dostępu", the flag unchanged.
    rig_.stub.answer = {1, 2, 0, 0};
    Flow().OnApplyPinRequest(true);
    EXPECT_EQ(rig_.context.pinRequest.load(), 1);
    // "Exit" in the PIN dialog: nothing is sent.
    const size_t sent = rig_.stub.Packets().size();
    Flow().OnApplyPinRequest(true);
    EXPECT_EQ(rig_.stub.Packets().size(), sent);
    const PromptRecord pin{"pin", QString(), QString(), PromptIcon::None, 0};
    EXPECT_EQ(prompt_.Records(),
              (std::vector<PromptRecord>{pin, Msg("Żądanie kodu PIN wyłączone", "Wykonano pomyślnie"), pin,
                                         Msg("Żądanie kodu PIN włączone", "Wykonano pomyślnie"), pin,
                                         Msg("Błąd: Brak dostępu", "Niewłaściwy PIN"), pin}));
}

TEST_F(RuimFlowTest, PinChangeChecksItsFieldsFirst) {
    struct Case {
        const char* oldPin;
        const char* newPin;
        const char* confirm;
        const char* text;
    };
    const Case refused[] = {
        {"", "4321", "4321", "Nie wprowadzono starego kodu PIN"},
        {"1234", "", "", "Nie wprowadzono nowego kodu PIN"},
        {"1234", "4321", "4322", "Niezgodność kodów"},
        {"1234", "12345678", "1234567", "Niezgodność kodów"},
    };
    for (const Case& c : refused) {
        prompt_.Clear();
        EXPECT_TRUE(Flow().OnChangePin(QString::fromUtf8(c.oldPin), QString::fromUtf8(c.newPin),
                                       QString::fromUtf8(c.confirm)));
        EXPECT_EQ(prompt_.Records(), std::vector<PromptRecord>{Msg(c.text, "Brakujące pole")}) << c.text;
    }
    EXPECT_TRUE(rig_.stub.Packets().empty());

    // A confirmation that differs only after the eighth character matches: the fields hold eight.
    prompt_.Clear();
    EXPECT_TRUE(
        Flow().OnChangePin(QStringLiteral("1234"), QStringLiteral("123456789"), QStringLiteral("123456780")));
    EXPECT_EQ(rig_.stub.Packets().back(), (std::vector<uint8_t>{60, 1, 38, '1', '2', '3', '4', 0, 0, 0, 0,
                                                                '1', '2', '3', '4', '5', '6', '7', '8'}));
    EXPECT_EQ(prompt_.Records(),
              std::vector<PromptRecord>{Msg("Kod PIN został zmieniony", "Wykonano pomyślnie")});
    prompt_.Clear();
    rig_.stub.answer = {1, 2, 0, 0};
    EXPECT_TRUE(Flow().OnChangePin(QStringLiteral("9999"), QStringLiteral("4321"), QStringLiteral("4321")));
    EXPECT_EQ(prompt_.Records(), std::vector<PromptRecord>{Msg("Błąd: Brak dostępu", "Niewłaściwy PIN")});
}

TEST_F(RuimFlowTest, NoModemAndTheSoftwareRevisionRule) {
    rig_.context.connectionState.store(kConnDeviceFound);
    EXPECT_FALSE(Flow().OnChangePin(QStringLiteral("1234"), QStringLiteral("4321"), QStringLiteral("4321")));
    Flow().OnApplyPinRequest(true);
    EXPECT_EQ(prompt_.Records(),
              (std::vector<PromptRecord>{Msg("Nie znaleziono modemu"), Msg("Nie znaleziono modemu")}));
    EXPECT_TRUE(rig_.stub.Packets().empty());

    ModemStatusRecord s{};
    std::memcpy(s.SoftwareRevision, "VLM10R", 6);
    EXPECT_EQ(RuimTabStateFor(kConnDeviceFound, s, true), (RuimTabState{false, false}));
    EXPECT_EQ(RuimTabStateFor(kConnReady, s, true), (RuimTabState{true, true}));
    EXPECT_EQ(RuimTabStateFor(kConnReady, s, false), (RuimTabState{false, true}));
    s.SoftwareRevision[5] = 'r';
    EXPECT_EQ(RuimTabStateFor(kConnReady, s, true), (RuimTabState{true, true}));
    s.SoftwareRevision[5] = 'S';
    EXPECT_EQ(RuimTabStateFor(kConnReady, s, true), (RuimTabState{false, false}));
}

}  // namespace
}  // namespace velmo::manager::test
