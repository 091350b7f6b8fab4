// The service object's dial-up operations (slots 44 to 57) over the real dial-up service, in folders of the
// test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "DialupFixture.h"
#include "library/service/ModemService.h"
#include "platform/Ports.h"
#include "platform/dialup/Connections.h"
#include "platform/dialup/Process.h"
#include "simulator/AtPort.h"

namespace velmo::dialup::test {
namespace {

using service::ModemService;

// The dial-state callback is a plain function: it forwards to the running test's recorder.
std::function<bool(ConnectionId, uint32_t, uint32_t, uint32_t)> g_forward;
std::atomic<uint32_t> g_message{0};

uint32_t DialCallback(uintptr_t connection, uint32_t message, uint32_t state, uint32_t error,
                      uint32_t extended) {
    g_message.store(message);
    if (g_forward) {
        g_forward(connection, state, error, extended);
    }
    return 1;
}

class DialOperationsTest : public DialupTest {
  protected:
    void SetUp() override {
        DialupTest::SetUp();
        modem_ = std::make_unique<ModemService>();
        ASSERT_EQ(modem_->GetLastResult(), kResultOk);
    }
    void TearDown() override {
        modem_.reset();
        g_forward = nullptr;
        for (int n : published_) {
            platform::UnpublishModem(n);
        }
        for (int fd : ptys_) {
            close(fd);
        }
        DialupTest::TearDown();
    }

    // Publishes a pty as a modem of that name.
    void Publish(const std::string& name) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        grantpt(master);
        unlockpt(master);
        ptys_.push_back(master);
        published_.push_back(platform::PublishModem(ptsname(master), name));
        ASSERT_NE(published_.back(), 0);
    }

    DialSettingsRecord Settings(const std::string& name, int32_t* result = nullptr) {
        DialSettingsRecord r{};
        std::memcpy(r.EntryName, name.data(), std::min(name.size(), sizeof r.EntryName));
        const int32_t got = modem_->GetDialSettings(&r);
        if (result != nullptr) {
            *result = got;
        } else {
            EXPECT_EQ(got, 0) << name;
        }
        return r;
    }

    DialEntry Entry(const std::string& name) {
        DialEntry e;
        EXPECT_EQ(CreateDialupService()->GetEntry({}, name, e), kErrorOk) << name;
        return e;
    }

    std::unique_ptr<ModemService> modem_;
    std::vector<int> published_;
    std::vector<int> ptys_;
};

TEST_F(DialOperationsTest, NoModemDeviceCreatesNothing) {
    EXPECT_EQ(modem_->CreateDialEntry(), kResultNoModemDevice);
    EXPECT_EQ(modem_->SetConnectionParameters("1xEvDO", "#777", "", "", "", 0, 1), kResultNoModemDevice);
    EXPECT_EQ(modem_->GetLastResult(), kResultNoModemDevice);
    uint8_t list[service::kDialEntryListSize];
    std::memset(list, 0xAA, sizeof list);
    EXPECT_EQ(modem_->EnumDialEntries(list), 0);
    EXPECT_EQ(list[0], 0);
}

TEST_F(DialOperationsTest, BrivantaDeviceIsPreferredWhereverItIsListed) {
    Publish("Generic Modem");
    EXPECT_EQ(modem_->SetConnectionParameters("First", "#777", "", "", "", 0, 0), 0);
    EXPECT_STREQ(Settings("First").DeviceName, "Generic Modem");
    Publish("USB Brivanta EV-DO");
    Publish("Brivanta Modem 3");
    EXPECT_EQ(modem_->SetConnectionParameters("Second", "#777", "", "", "", 0, 0), 0);
    EXPECT_STREQ(Settings("Second").DeviceName, "USB Brivanta EV-DO");
}

TEST_F(DialOperationsTest, EntriesReadBackAsCreated) {
    Publish("Brivanta Modem 1");
    for (int useArea : {0, 1}) {
        for (int save : {0, 1}) {
            const std::string name = "E" + std::to_string(useArea) + std::to_string(save);
            ASSERT_EQ(
                modem_->SetConnectionParameters(name.c_str(), "#777", "user", "pw\"1", "022", useArea, save),
                0);
            const DialSettingsRecord r = Settings(name);
            EXPECT_EQ(r.CountryId, 1u);
            EXPECT_EQ(r.CountryCode, 1u);
            EXPECT_EQ(r.UseAreaCode, static_cast<uint32_t>(useArea));
            EXPECT_EQ(r.PasswordSaved, static_cast<uint32_t>(save));
            EXPECT_STREQ(r.AreaCode, "022");
            EXPECT_STREQ(r.PhoneNumber, "#777");
            EXPECT_STREQ(r.DeviceName, "Brivanta Modem 1");
            EXPECT_STREQ(r.UserName, "user");
            EXPECT_STREQ(r.Password, save != 0 ? "pw\"1" : "");
            const DialEntry e = Entry(name);
            EXPECT_EQ(e.options, useArea != 0 ? 0x11u : 0x10u);
            EXPECT_EQ(e.deviceType, "modem");
            EXPECT_EQ(e.networkProtocols, 4u);
            EXPECT_EQ(e.framingProtocol, 1u);
        }
    }
    // Over-long texts are cut to their limits.
    const std::string longArea(40, '7');
    ASSERT_EQ(modem_->SetConnectionParameters("Long", std::string(300, '1').c_str(),
                                              std::string(300, 'u').c_str(), "", longArea.c_str(), 1, 1),
              0);
    const DialSettingsRecord r = Settings("Long");
    EXPECT_EQ(std::strlen(r.AreaCode), 10u);
    EXPECT_EQ(std::strlen(r.PhoneNumber), 128u);
    EXPECT_EQ(std::strlen(r.UserName), 256u);
}

TEST_F(DialOperationsTest, ExistingEntryKeepsItsPropertiesButTakesNewDialParameters) {
    Publish("Brivanta Modem 1");
    ASSERT_EQ(modem_->SetConnectionParameters("Keep", "#777", "u1", "p1", "1", 1, 1), 0);
    ASSERT_EQ(modem_->SetEntryAuthChap("Keep"), 0);
    const uint32_t options = Entry("Keep").options;
    Publish("Brivanta Modem 2");
    ASSERT_EQ(modem_->SetConnectionParameters("Keep", "#999", "u2", "p2", "2", 0, 0), 0);
    const DialSettingsRecord r = Settings("Keep");
    EXPECT_STREQ(r.PhoneNumber, "#777");
    EXPECT_STREQ(r.AreaCode, "1");
    EXPECT_EQ(r.UseAreaCode, 1u);
    EXPECT_STREQ(r.DeviceName, "Brivanta Modem 1");
    EXPECT_EQ(Entry("Keep").options, options);
    EXPECT_STREQ(r.UserName, "u2");
    EXPECT_EQ(r.PasswordSaved, 0u);
    EXPECT_STREQ(r.Password, "");
}

TEST_F(DialOperationsTest, AuthenticationEditsSetTheirOptions) {
    Publish("Brivanta Modem 1");
    struct Edit {
        int32_t (ModemService::*op)(const char*);
        uint32_t cleared;
        uint32_t set;
        uint32_t options2;
    };
    const Edit edits[] = {
        {&ModemService::SetEntryAuthAny, 0, 0x7D2C0218, 0},
        {&ModemService::SetEntryAuthAnyNoNbt, 0, 0x7D2C0218, 0x40},
        {&ModemService::SetEntryAuthChap, 0x700C0000, 0x0D200218, 0},
        {&ModemService::SetEntryAuthPap, 0x78080000, 0x05240218, 0},
        {&ModemService::SetEntryAuthPapChap, 0x70080000, 0x0D240218, 0},
    };
    for (const Edit& edit : edits) {
        for (uint32_t start : {0x11u, 0xFFFFFFFFu}) {
            modem_->DeleteDialEntry("Auth");
            ASSERT_EQ(modem_->SetConnectionParameters("Auth", "#777", "user", "pw", "", 1, 1), 0);
            DialEntry e = Entry("Auth");
            e.options = start;
            ASSERT_EQ(CreateDialupService()->SetEntry({}, e), kErrorOk);
            ASSERT_EQ((modem_.get()->*edit.op)("Auth"), 0);
            const DialEntry after = Entry("Auth");
            EXPECT_EQ(after.options, (start & ~edit.cleared) | edit.set) << std::hex << edit.set;
            EXPECT_EQ(after.options2, edit.options2);
            EXPECT_EQ(after.idleDisconnectSeconds, -1);
            EXPECT_EQ(after.encryptionType, 3u);
            // The rest of the entry and its dial parameters stay.
            const DialSettingsRecord r = Settings("Auth");
            EXPECT_STREQ(r.PhoneNumber, "#777");
            EXPECT_STREQ(r.Password, "pw");
            EXPECT_EQ(r.UseAreaCode, 1u);
        }
    }
    // The manager's entries start from remote default gateway and encryption.
    DialEntry e = Entry("Auth");
    e.options = 0x1010;
    ASSERT_EQ(CreateDialupService()->SetEntry({}, e), kErrorOk);
    ASSERT_EQ(modem_->SetEntryAuthAny("Auth"), 0);
    EXPECT_EQ(Entry("Auth").options, 0x7D2C1218u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(modem_->SetEntryAuthPap("Missing"), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("GetEntryProperties failed!"), std::string::npos);
}

TEST_F(DialOperationsTest, InvalidNamesAndMissingEntries) {
    Publish("Brivanta Modem 1");
    for (const char* bad : {"a/b", "a\\b", ".hidden", "tab\there", ""}) {
        int32_t result = 0;
        Settings(bad, &result);
        EXPECT_EQ(result, 123) << bad;
        EXPECT_EQ(modem_->SetConnectionParameters(bad, "#777", "", "", "", 0, 0), kResultNoReply) << bad;
    }
    int32_t result = 0;
    Settings("Missing", &result);
    EXPECT_EQ(result, 123);
    EXPECT_EQ(modem_->DeleteDialEntry("Missing"), kResultDeleteEntryFailed);
    EXPECT_EQ(modem_->GetLastResult(), kResultDeleteEntryFailed);
    ASSERT_EQ(modem_->SetConnectionParameters("Present", "#777", "", "", "", 0, 0), 0);
    EXPECT_EQ(modem_->DeleteDialEntry("Present"), kResultOk);
    EXPECT_EQ(modem_->GetLastResult(), kResultOk);
    EXPECT_EQ(modem_->HangUp(0), kResultNoReply);
    EXPECT_EQ(modem_->GetLastResult(), kResultNoReply);
    ConnectionStatistics stats;
    std::memset(&stats, 0xAA, sizeof stats);
    EXPECT_EQ(modem_->GetConnectionStatistics(&stats), 0);
    EXPECT_EQ(stats.Size, 0u);
    EXPECT_EQ(stats.BytesSent, 0u);
    EXPECT_EQ(modem_->ClearConnectionStatistics(), kErrorInvalidHandle);
}

TEST_F(DialOperationsTest, EntryListHoldsTheFirstFiftyInNameOrder) {
    auto service = CreateDialupService();
    std::vector<std::string> names;
    for (int i = 0; i < 51; ++i) {
        names.push_back("Entry " + std::string(i < 10 ? "0" : "") + std::to_string(i));
    }
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const std::string& name : shuffled) {
        DialEntry e;
        e.name = name;
        ASSERT_EQ(service->SetEntry({}, e), kErrorOk);
    }
    std::vector<uint8_t> list(service::kDialEntryListSize + 1, 0xAA);
    ASSERT_EQ(modem_->EnumDialEntries(list.data()), 0);
    EXPECT_EQ(list[0], 50);
    for (size_t i = 0; i < 50; ++i) {
        EXPECT_STREQ(reinterpret_cast<const char*>(&list[1 + i * kDialEntrySlotSize]), names[i].c_str());
    }
    EXPECT_EQ(list[service::kDialEntryListSize], 0xAA) << "wrote past the list";

    // A name of the full 256 bytes fills its slot.
    for (const std::string& name : names) {
        ASSERT_EQ(service->DeleteEntry({}, name), kErrorOk);
    }
    DialEntry e;
    e.name = std::string(256, 'z');
    ASSERT_EQ(service->SetEntry({}, e), kErrorOk);
    ASSERT_EQ(modem_->EnumDialEntries(list.data()), 0);
    EXPECT_EQ(list[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&list[1]), kDialEntrySlotSize), e.name);
}

// What velmo-cli dial shows against the stand-in: the states through CONNECT, then the missing kernel PPP.
TEST_F(DialOperationsTest, DialReportsThroughTheCallback) {
    if (access("/dev/ppp", F_OK) == 0 || geteuid() != 0) {
        GTEST_SKIP() << "needs root on a kernel without PPP";
    }
    sim::AtPort port;
    std::string error;
    ASSERT_TRUE(port.Start("", &error)) << error;
    ASSERT_EQ(modem_->SetConnectionParameters("1xEvDO", "#777", "user", "secret", "", 0, 1), 0);
    ProgressRecorder recorder;
    g_forward = recorder.Callback();
    EXPECT_EQ(modem_->Dial(&DialCallback, "1xEvDO", "#777", "user", "secret"), 0);
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.States(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 4}));
    EXPECT_EQ(recorder.Events().back().error, static_cast<uint32_t>(kErrorServiceCannotStart));
    EXPECT_EQ(g_message.load(), service::kDialEventMessage);
    // Once the dialer has closed up, the failed connection is gone: nothing to hang up.
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (!std::filesystem::is_empty(root_ + "/run") && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(modem_->HangUp(0), kResultNoReply);
    port.Stop();
}

TEST_F(DialOperationsTest, DestroyingTheServiceObjectEndsItsDial) {
    sim::AtPort port;
    std::string error;
    ASSERT_TRUE(port.Start("", &error)) << error;
    ASSERT_EQ(modem_->SetConnectionParameters("Silent", "4444", "", "", "", 0, 0), 0);
    ProgressRecorder recorder;
    g_forward = recorder.Callback();
    EXPECT_EQ(modem_->Dial(&DialCallback, "Silent", "", "", ""), 0);
    ASSERT_TRUE(recorder.WaitForState(dialup::kStateConnectDevice));
    const auto start = std::chrono::steady_clock::now();
    modem_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    const size_t seen = recorder.Events().size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.Events().size(), seen);
    EXPECT_TRUE(NoChildren());
    port.Stop();
}

// A connection that is up (pppd on the modem's line, its interface in sysfs): Dial leaves it alone,
// statistics fold into the 32-bit record, HangUp ends it; destroying a service object that did not dial it
// leaves it.
TEST_F(DialOperationsTest, ConnectedLinkIsFoundCountedAndHungUp) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    ptys_.push_back(master);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    published_.push_back(platform::PublishModem(ptsname(master), "Brivanta Modem L"));
    std::filesystem::create_directories(root_ + "/bin");
    std::filesystem::create_symlink("/bin/sleep", root_ + "/bin/pppd");
    int spawnError = 0;
    const pid_t pid = SpawnChild({root_ + "/bin/pppd", "30"}, ChildFds{slave, -1, -1, -1}, spawnError);
    close(slave);
    ASSERT_GT(pid, 0);
    while (ProcessName("/proc", pid) != "pppd") {
        std::this_thread::sleep_for(2ms);
    }
    WriteFile(root_ + "/pppd-run/ppp0.pid", std::to_string(pid) + "\n");
    WriteFile(root_ + "/sys/ppp0/statistics/tx_bytes", std::to_string((1ull << 32) + 7) + "\n");
    WriteFile(root_ + "/sys/ppp0/statistics/rx_bytes", "1234\n");

    ProgressRecorder recorder;
    g_forward = recorder.Callback();
    ASSERT_EQ(modem_->SetConnectionParameters("Up", "#777", "", "", "", 0, 0), 0);
    EXPECT_EQ(modem_->Dial(&DialCallback, "Up", "#777", "", ""), 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(recorder.Events().empty()) << "dialled over a live connection";

    ConnectionStatistics stats{};
    EXPECT_EQ(modem_->GetConnectionStatistics(&stats), 0);
    EXPECT_EQ(stats.Size, 60u);
    EXPECT_EQ(stats.BytesSent, 7u);
    EXPECT_EQ(stats.BytesReceived, 1234u);
    EXPECT_EQ(stats.Bps, 115200u);
    EXPECT_EQ(modem_->ClearConnectionStatistics(), 0);
    EXPECT_EQ(modem_->GetConnectionStatistics(&stats), 0);
    EXPECT_EQ(stats.BytesSent, 0u);

    // Another client's dial-up component comes and goes: the connection stays.
    std::make_unique<service::RasDialer>().reset();
    EXPECT_EQ(kill(pid, 0), 0);
    ASSERT_EQ(ProcessName("/proc", pid), "pppd");

    EXPECT_EQ(modem_->HangUp(0), kResultOk);
    const int status = ReapChild(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(modem_->HangUp(0), kResultNoReply);
}

}  // namespace
}  // namespace velmo::dialup::test
