// The wrapper: binding of the real libVelmoModem.so, and every operation's ok rule against the stand-in over
// a pty; edges the stand-in cannot produce (odd lengths, refusals) come from a scripted interface object.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <sys/stat.h>
#include <QFile>
#include <QTemporaryDir>

#include "Recorders.h"
#include "StubModem.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/Diagnostics.h"
#include "manager/core/Settings.h"
#include "tests/simulator/EthernetFixture.h"

namespace velmo::manager::test {
namespace {

using sim::test::StandInTest;

struct Messages {
    std::vector<std::string> shown;
    CModemWrapper::MessageSink Sink() {
        return [this](const std::string& text) { shown.push_back(text); };
    }
};

std::string LibraryBesideUs() {
    return ExecutableDirectory() + "/" + kModemLibraryName;
}

TEST(ModemBinding, BindsTheLibraryBesideTheExecutableAndUnbinds) {
    Messages m;
    {
        CModemWrapper w;
        EXPECT_TRUE(CModemWrapper::Alive());
        ASSERT_EQ(w.Bind(m.Sink()), 0);
        EXPECT_EQ(w.LoadedFrom(), LibraryBesideUs());
        EXPECT_EQ(w.OsClass(), 7);
        EXPECT_EQ(w.LastResult(), 0);
        EXPECT_FALSE(w.LibraryVersion().empty());

        EXPECT_EQ(w.Bind(m.Sink()), 1);
        EXPECT_EQ(w.LastResult(), 1);
        EXPECT_EQ(m.shown, std::vector<std::string>{"Profil już istnieje."});
    }
    EXPECT_FALSE(CModemWrapper::Alive());
    // The service object was destroyed: a new one can be made.
    CModemWrapper again;
    EXPECT_EQ(again.Bind(m.Sink()), 0);
}

TEST(ModemBinding, FailuresShowTheirMessages) {
    Messages m;
    CModemWrapper missing;
    EXPECT_EQ(missing.Bind(m.Sink(), {"/nonexistent/libVelmoModem.so"}), 1);
    EXPECT_EQ(missing.LastResult(), 5);

    CModemWrapper noFactory;
    EXPECT_EQ(noFactory.Bind(m.Sink(), {"libm.so.6"}), 1);
    EXPECT_EQ(noFactory.LastResult(), 4);

    // Only one service object may exist: the second factory call refuses, the result code stays.
    CModemWrapper first;
    ASSERT_EQ(first.Bind(m.Sink(), {LibraryBesideUs()}), 0);
    CModemWrapper second;
    EXPECT_EQ(second.Bind(m.Sink(), {LibraryBesideUs()}), 1);
    EXPECT_EQ(second.LastResult(), 0);
    EXPECT_FALSE(second.IsBound());

    EXPECT_EQ(m.shown, (std::vector<std::string>{"Library VelmoModem.Dll not found!",
                                                 "Library Creation Error!", "Library Creation Fail!"}));
}

// Counts open attempts and answers request 60 with a scripted reply.
class ScriptedModem : public StubModem {
  public:
    int32_t OpenSerialPort(int32_t port, int32_t baud) override {
        ports.push_back(port);
        lastBaud = baud;
        return openResult;
    }
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) override {
        sent.emplace_back(request, request + count);
        std::memcpy(out128, reply.data(), kRequest60ReplySize);
        return sendResult;
    }
    int32_t SendRequest60Large(const uint8_t* request, int32_t count, uint8_t* out1086) override {
        sent.emplace_back(request, request + count);
        std::memset(out1086, 0, kRequest60LargeReplySize);
        std::memcpy(out1086, reply.data(), kRequest60ReplySize);
        return sendResult;
    }

    std::vector<int32_t> ports;
    int32_t lastBaud = 0;
    int32_t openResult = kResultPortOpenFailed;
    std::vector<std::vector<uint8_t>> sent;
    std::array<uint8_t, kRequest60ReplySize> reply{};
    int32_t sendResult = kResultOk;
};

class ScriptedWrapperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Attach(&modem_);
        w_.SetSettings(&record_);
    }
    void Reply(std::initializer_list<uint8_t> from3) {
        modem_.reply.fill(0);
        std::copy(from3.begin(), from3.end(), modem_.reply.begin() + 3);
    }

    ScriptedModem modem_;
    SettingsRecord record_;
    CModemWrapper w_;
};

TEST_F(ScriptedWrapperTest, UsbOpeningAttempts) {
    record_.automaticPort = 0;
    record_.configuredPort = 0;
    EXPECT_FALSE(w_.OpenUsbPort(false));
    EXPECT_TRUE(modem_.ports.empty());  // port 0: three attempts, none reaches the library

    record_.configuredPort = 4;
    EXPECT_FALSE(w_.OpenUsbPort(false));
    EXPECT_EQ(modem_.ports, (std::vector<int32_t>{4, 4, 4}));
    EXPECT_EQ(modem_.lastBaud, 115200);
    modem_.ports.clear();
    EXPECT_FALSE(w_.OpenUsbPort(true));
    EXPECT_EQ(modem_.ports.size(), 1u);

    // Automatic detection replaces the configured number, per attempt.
    record_.automaticPort = 1;
    int found = 0;
    w_.SetPortDetector([&] { return ++found == 3 ? 9 : 0; });
    modem_.ports.clear();
    modem_.openResult = kResultOk;
    EXPECT_TRUE(w_.OpenUsbPort(false));
    EXPECT_EQ(modem_.ports, std::vector<int32_t>{9});
    EXPECT_TRUE(w_.PortOpen());
    EXPECT_EQ(w_.CurrentPort(), 9);
    w_.Close();
    EXPECT_FALSE(w_.PortOpen());

    // Closing or an abort ends the loop before any attempt.
    std::atomic<bool> closing{true};
    w_.SetClosingFlag(&closing);
    modem_.ports.clear();
    EXPECT_FALSE(w_.OpenUsbPort(false));
    closing = false;
    w_.Abort();
    EXPECT_FALSE(w_.OpenUsbPort(false));
    EXPECT_TRUE(modem_.ports.empty());
}

TEST_F(ScriptedWrapperTest, DeviceTextLengthMustBeOneTo255) {
    const auto withLength = [&](uint16_t n, uint16_t status = 0) {
        std::array<uint8_t, 7> fields{0, 0, 0, 0, 'A', 'B', 'C'};
        wire::Put16(fields, 0, status);
        wire::Put16(fields, 2, n);
        modem_.reply.fill(0);
        std::copy(fields.begin(), fields.end(), modem_.reply.begin() + 3);
        return w_.ReadDeviceText();
    };
    EXPECT_FALSE(withLength(0));
    EXPECT_FALSE(withLength(256));
    EXPECT_FALSE(withLength(3, 1));
    EXPECT_TRUE(withLength(255));  // a length past the reply is cut at the reply's end
    EXPECT_EQ(w_.DeviceText(), "ABC");
    EXPECT_TRUE(withLength(1));
    EXPECT_EQ(w_.DeviceText(), "A");
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 0, 0}));
    modem_.sendResult = kResultServiceParameterFailed;
    EXPECT_FALSE(withLength(3));
}

TEST_F(ScriptedWrapperTest, StatusWordsAndCardAcks) {
    Reply({1, 0, 7, 0});
    EXPECT_FALSE(w_.ReadCapability());
    Reply({0, 0, 7, 0});
    ASSERT_TRUE(w_.ReadCapability());
    EXPECT_EQ(*w_.ReadCapability(), 7);
    Reply({0, 1});
    EXPECT_FALSE(w_.QuitMode(3));
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 0, 5, 3, 0}));
    Reply({1});
    EXPECT_FALSE(w_.QuitRelease());
    Reply({0, 1});
    EXPECT_FALSE(w_.ReadUserStatus());

    Reply({1, 3, 0, 3});
    auto card = w_.CardStatus();
    ASSERT_TRUE(card);
    EXPECT_FALSE(card->accepted);
    EXPECT_EQ(card->reply.remainedTime, 3);
    Reply({1, 3, 1, 3});
    card = w_.CardStatus();
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->accepted);
    EXPECT_EQ(card->reply.pinVerification, 3);

    // PIN fields take at most 8 characters, zero-filled.
    modem_.sent.clear();
    w_.ChangePin("123456789", "12");
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 1, 38, '1', '2', '3', '4', '5', '6', '7', '8',
                                                        '1', '2', 0, 0, 0, 0, 0, 0}));
    w_.SetPinRequest(true, "1");
    EXPECT_EQ(modem_.sent.back().size(), 12u);
    EXPECT_EQ(modem_.sent.back()[3], 1);

    // The card status is asked a second time only when the call fails.
    modem_.sent.clear();
    modem_.sendResult = kResultServiceParameterFailed;
    EXPECT_FALSE(w_.CardStatus());
    EXPECT_EQ(modem_.sent.size(), 2u);
    modem_.sent.clear();
    EXPECT_FALSE(w_.VerifyPin("1234"));
    EXPECT_EQ(modem_.sent.size(), 1u);
}

TEST_F(ScriptedWrapperTest, ShortMessageEchoRules) {
    sms::Message m;
    m.number = "5551234567";
    m.text = std::u16string(1, u'x');
    Reply({2, 0, 7, 1});
    EXPECT_EQ(w_.SmsStore(sms::StoreOp::SentCopy, 0, m), std::optional<uint8_t>(7));
    const auto store = sms::StoreRequest(sms::StoreOp::SentCopy, 0, m);
    EXPECT_EQ(modem_.sent.back(), std::vector<uint8_t>(store.begin(), store.end()));
    EXPECT_EQ(modem_.sent.back().size(), r60::kSmsRecordSize);
    Reply({3, 0, 0, 1});
    EXPECT_FALSE(w_.SmsStore(sms::StoreOp::SentCopy, 0, m));

    Reply({3, 0, 1});
    EXPECT_TRUE(w_.SmsRead(sms::Box::SavedBox, 5));
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 1, 51, 3, 5}));
    Reply({3, 0, 0});
    EXPECT_FALSE(w_.SmsRead(sms::Box::SavedBox, 5));

    Reply({0, 5, 9});
    EXPECT_TRUE(w_.SmsDelete(sms::Box::OutBox, 5));
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 1, 52, 0, 5}));
    Reply({0, 4});
    EXPECT_FALSE(w_.SmsDelete(sms::Box::OutBox, 5));

    Reply({1, 9});
    EXPECT_EQ(w_.SmsCount(sms::Box::OutBox), std::optional<uint8_t>(0));  // another box: nothing counted
    Reply({5, 9});
    EXPECT_EQ(w_.SmsCount(sms::Box::OutBox), std::optional<uint8_t>(9));
    EXPECT_EQ(modem_.sent.back(), (std::vector<uint8_t>{60, 1, 54, 5}));
}

// With the diagnostics on, every request-60 exchange is kept, but the codes the user typed, the A-key and a
// message's number and text never reach the lines or the file the user saves for support.
TEST_F(ScriptedWrapperTest, DiagnosticsKeepTheExchangesButNoSecret) {
    diagnostics::Install();
    diagnostics::SetEnabled(true);
    diagnostics::Clear();
    Reply({1, 3, 1, 3});
    w_.VerifyPin("4711");
    w_.ChangePin("4711", "8022");
    w_.VerifySpc("246813");
    w_.WriteParameterText(ParamCode::AKey, "97531975319753197531");
    sms::Message m;
    m.number = "5559876543";
    m.text = u"Spotkanie o 9";
    Reply({2, 0, 7, 1});
    w_.SmsStore(sms::StoreOp::SentCopy, 0, m);
    // A read message's record follows the reply's header.
    Reply({3, 0, 1, 0, 'Z', 'Q', 'X', 'W'});
    w_.SmsRead(sms::Box::SavedBox, 5);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("support.txt"));
    RecordingPrompt prompt;
    prompt.files = {path};
    SaveDiagnosticsFlow(prompt, QStringLiteral("VelmoManager test"));
    diagnostics::SetEnabled(false);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(saved.startsWith(QStringLiteral("VelmoManager test\n")));
    EXPECT_TRUE(saved.contains(QStringLiteral("PIN verify 3c 01 24 **")));
    EXPECT_TRUE(saved.contains(QStringLiteral("message read 3c 01 33 03 05")));
    for (const char* secret : {"4711", "34 37 31 31", "8022", "246813", "97531", "39 37 35", "5559876543",
                               "35 35 35 39", "Spotkanie", "53 70 6f", "5a 51 58"}) {
        EXPECT_FALSE(saved.contains(QLatin1String(secret))) << secret;
    }
    struct stat st {};
    ASSERT_EQ(stat(path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_FALSE(prompt.Messages().empty());
    EXPECT_TRUE(prompt.Messages().back().text.contains(path));

    // Switched off, the exchanges are no longer kept.
    diagnostics::Clear();
    w_.VerifyPin("4711");
    EXPECT_TRUE(diagnostics::Lines().empty());
}

TEST_F(ScriptedWrapperTest, ParameterCacheSizesAndTexts) {
    EXPECT_FALSE(w_.WriteParameterText(ParamCode::AKey, "short"));
    EXPECT_TRUE(w_.WriteParameterText(ParamCode::AKey, "01234567890123456789"));
    EXPECT_TRUE(w_.WriteParameterText(ParamCode::ChapPassword, "0123456789abcdefgh"));
    EXPECT_EQ(w_.CachedParameter(ParamCode::ChapPassword).size(), 14u);
    EXPECT_EQ(w_.CachedParameter(ParamCode::ChapPassword).back(), 'd');
    EXPECT_TRUE(w_.WriteParameterText(ParamCode::ChapId, std::string(80, 'x')));
    EXPECT_EQ(w_.CachedParameter(ParamCode::ChapId).size(), 64u);
    EXPECT_FALSE(w_.ReadCachedParameter(ParamCode::AKey));            // write only
    EXPECT_FALSE(w_.ReadCachedParameter(static_cast<ParamCode>(2)));  // not a cached code
}

// The wrapper over the real library and the stand-in.
class WrapperStandInTest : public StandInTest {
  protected:
    void SetUp() override {
        StandInTest::SetUp();
        Messages m;
        ASSERT_EQ(w_.Bind(m.Sink(), {LibraryBesideUs()}), 0);
        record_.automaticPort = 0;
        record_.configuredPort = sim_->Port();
        w_.SetSettings(&record_);
        ASSERT_TRUE(w_.OpenUsbPort(false));
    }
    void TearDown() override {
        w_.Close();
        w_.Unbind();
        StandInTest::TearDown();
    }
    void Set(const std::string& field, const std::string& value) {
        std::string error;
        ASSERT_TRUE(sim_->SetField(field, value, &error)) << error;
    }

    SettingsRecord record_;
    CModemWrapper w_;
};

TEST_F(WrapperStandInTest, DeviceOperations) {
    EXPECT_TRUE(w_.PortOpen());
    EXPECT_EQ(w_.CurrentPort(), sim_->Port());
    EXPECT_TRUE(w_.QueryStatus(3));
    EXPECT_TRUE(w_.QueryStatus(1));
    EXPECT_NE(w_.Status().SoftwareRevision[0], 0);
    EXPECT_TRUE(w_.RequestStatus16());
    EXPECT_TRUE(w_.SetReportLevel(2));
    EXPECT_TRUE(w_.ReadRuimMode());
    EXPECT_TRUE(w_.ReadCachedParameter(ParamCode::PrefMode));
    EXPECT_EQ(w_.LastResult(), 0);

    EXPECT_FALSE(w_.VerifySpc("123456"));
    EXPECT_NE(w_.LastResult(), 0);
    EXPECT_TRUE(w_.VerifySpc("000000"));
    EXPECT_EQ(w_.LastResult(), 0);

    // A reply the modem refuses fails the call and keeps the code.
    sim_->SetFault({sim::FaultMode::ErrorStatus, 0x0C, 0});
    EXPECT_FALSE(w_.QueryStatus(3));
    sim_->SetFault({});
    EXPECT_TRUE(w_.ReopenUsbPort());
    EXPECT_TRUE(w_.QueryStatus(3));
}

TEST_F(WrapperStandInTest, UserLevelCommands) {
    EXPECT_TRUE(w_.ReadDeviceText());
    EXPECT_EQ(w_.DeviceText(), "VLM100 EV-DO USB modem");
    const auto capability = w_.ReadCapability();
    ASSERT_TRUE(capability);
    EXPECT_EQ(*capability, 1);
    const auto words = w_.ReadUserStatus();
    ASSERT_TRUE(words);
    EXPECT_EQ(static_cast<int16_t>((*words)[3]), -72);
    EXPECT_TRUE(w_.QuitMode(3));
    EXPECT_TRUE(w_.QuitRelease());

    Set("identity", "");
    EXPECT_FALSE(w_.ReadDeviceText());
    EXPECT_EQ(w_.DeviceText(), "VLM100 EV-DO USB modem");  // the last good text stays
}

class CardStandInTest : public WrapperStandInTest {
  protected:
    CardStandInTest() { scenario_ = "card-pin"; }
};

TEST_F(CardStandInTest, PinAndPukAcks) {
    const auto accepted = [](const std::optional<CModemWrapper::CardAnswer>& a) { return a && a->accepted; };
    auto card = w_.CardStatus();
    EXPECT_TRUE(accepted(card));
    EXPECT_EQ(card->reply.pinVerification, 0);
    card = w_.VerifyPin("9999");
    EXPECT_FALSE(accepted(card));
    EXPECT_EQ(card->reply.remainedTime, 2);
    EXPECT_TRUE(accepted(w_.VerifyPin("1234")));
    card = w_.SetPinRequest(true, "1234");
    EXPECT_TRUE(accepted(card));
    EXPECT_EQ(card->reply.enable, 1);
    EXPECT_TRUE(accepted(w_.SetPinRequest(false, "1234")));
    EXPECT_TRUE(accepted(w_.ChangePin("1234", "2468")));
    EXPECT_TRUE(accepted(w_.PukStatus()));
    EXPECT_FALSE(accepted(w_.UnblockPin("00000000", "1234")));
    EXPECT_TRUE(accepted(w_.UnblockPin("12345678", "1234")));

    // A failed card-status call is sent again at once.
    sim_->ClearRequests();
    sim_->SetFault({sim::FaultMode::ErrorStatus, 0x3C, 0});
    EXPECT_FALSE(accepted(w_.CardStatus()));
    EXPECT_EQ(RequestsOf(0x3C).size(), 2u);
}

TEST_F(WrapperStandInTest, TwoThreadsNeverMeetInsideTheLibrary) {
    // The library keeps no lock around its buffers; the wrapper's lock must keep both callers whole.
    std::atomic<int> failures{0};
    auto poll = [&](int kind) {
        for (int i = 0; i < 25; ++i) {
            if (!w_.QueryStatus(kind)) {
                ++failures;
            }
        }
    };
    std::thread other(poll, 1);
    for (int i = 0; i < 25; ++i) {
        if (!w_.ReadUserStatus()) {
            ++failures;
        }
    }
    other.join();
    EXPECT_EQ(failures.load(), 0);
}

class WrapperEthernetTest : public sim::test::EthernetTest {};

TEST_F(WrapperEthernetTest, OpenReadsTheDeviceTextButDoesNotDependOnIt) {
    CModemWrapper w;
    ASSERT_EQ(w.Bind({}, {LibraryBesideUs()}), 0);
    ASSERT_TRUE(w.OpenEthernetLink());
    EXPECT_EQ(w.DeviceText(), "VLM100 EV-DO USB modem");
    EXPECT_EQ(w.DiscoveredAddress(), "127.0.0.1");
    EXPECT_TRUE(w.QueryStatus(3));
    w.Close();

    std::string error;
    ASSERT_TRUE(sim_->SetField("identity", "", &error)) << error;
    CModemWrapper again;
    ASSERT_EQ(again.Bind({}, {LibraryBesideUs()}), 1);  // the first still holds the one service object
    w.Unbind();
    ASSERT_EQ(again.Bind({}, {LibraryBesideUs()}), 0);
    EXPECT_TRUE(again.OpenEthernetLink());
    EXPECT_TRUE(again.DeviceText().empty());
}

// The advanced status window reads the RF block from the window thread: it never waits behind a worker that
// is inside the library, and the value is the block's first word, signed.
TEST(ModemWrapperRfBlock, FirstWordSignedAndNeverBlocksBehindAnotherCall) {
    struct RfModem : StubModem {
        void GetRfBlockA(uint8_t* out) override { wire::Put16(std::span<uint8_t>(out, 2), 0, word); }
        int32_t QueryStatus(ModemStatusRecord*, int32_t) override {
            inside.store(true);
            while (!release.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return kResultOk;
        }
        uint16_t word = 0x1234;
        std::atomic<bool> inside{false};
        std::atomic<bool> release{false};
    } modem;
    CModemWrapper w;
    EXPECT_EQ(w.RfBlockAFirst(), -1);  // nothing bound
    w.Attach(&modem);
    EXPECT_EQ(w.RfBlockAFirst(), 0x1234);
    modem.word = 0xFF9C;
    EXPECT_EQ(w.RfBlockAFirst(), -100);

    std::thread worker([&] { w.QueryStatus(3); });
    while (!modem.inside.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    modem.word = 0x0001;
    EXPECT_EQ(w.RfBlockAFirst(), -100);  // the last value, at once
    modem.release.store(true);
    worker.join();
    EXPECT_EQ(w.RfBlockAFirst(), 1);
}

}  // namespace
}  // namespace velmo::manager::test
