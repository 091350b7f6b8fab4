// Dialling against the stand-in's AT port over a real pty, with the real chat, and with the real pppd or a
// stand-in for it that replays a transcript.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "DialupFixture.h"
#include "platform/Ports.h"
#include "platform/dialup/Connections.h"
#include "platform/dialup/Process.h"
#include "simulator/AtPort.h"

namespace velmo::dialup::test {
namespace {

const std::vector<uint32_t> kUpToConnect{0, 1, 2, 3, 4};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DialTest : public DialupTest {
  protected:
    void SetUp() override {
        DialupTest::SetUp();
        std::string error;
        ASSERT_TRUE(port_.Start("", &error)) << error;
        entry_.name = "Test";
        entry_.phoneNumber = "#777";
        entry_.deviceType = "modem";
        entry_.deviceName = platform::PublishedModemName(port_.ModemNumber());
        entry_.options = 0x7D2C0218;
        options_ = Options();
    }
    void TearDown() override {
        service_.reset();
        port_.Stop();
        DialupTest::TearDown();
    }

    void Start() {
        service_ = CreateDialupService(options_);
        ASSERT_EQ(service_->SetEntry({}, entry_), kErrorOk);
        fds_ = OpenDescriptors();
    }

    // Dials with the given number (empty: the entry's) and waits for the end.
    void DialAndWait(const std::string& number, const std::string& password = "") {
        DialParams params;
        params.entryName = entry_.name;
        params.phoneNumber = number;
        params.userName = "user";
        params.password = password;
        ASSERT_EQ(service_->Dial({}, params, recorder_.Callback(), id_), kErrorOk);
        EXPECT_NE(id_, 0u);
        ASSERT_TRUE(recorder_.WaitForEnd()) << "no end of the dial";
        ExpectFinished();
    }

    // The dial has left nothing behind: no record, no child, no descriptor.
    void ExpectFinished() {
        ConnectStatus status;
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (service_->GetConnectStatus(id_, status) != kErrorInvalidHandle &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(service_->GetConnectStatus(id_, status), kErrorInvalidHandle);
        // The record goes only after the dialer closed everything; give its last close a moment.
        // A leak stays; a descriptor something else in the process holds for a moment does not count.
        const auto fdsUntil = std::chrono::steady_clock::now() + 2s;
        int open = OpenDescriptors();
        while (open != fds_ && std::chrono::steady_clock::now() < fdsUntil) {
            std::this_thread::sleep_for(5ms);
            open = OpenDescriptors();
        }
        EXPECT_EQ(open, fds_) << "a descriptor leaked:\n" << DescribeDescriptors();
        EXPECT_TRUE(NoChildren()) << "a child was not reaped";
    }

    Progress Last() const { return recorder_.Events().back(); }

    // A stand-in for pppd: records its arguments and secrets, replays a transcript, then exits with exitCode,
    // or (exitCode < 0) waits for SIGTERM, prints the transcript's rest and exits 5 as pppd does.
    void UseFakePppd(const std::string& transcript, int exitCode) {
        const std::string dir = root_ + "/fake";
        const std::string log = std::string(VELMO_DIALUP_TEST_DATA) + "/" + transcript;
        std::string script =
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" > " +
            dir +
            "/args\n"
            "cat <&3 > " +
            dir + "/secrets\n";
        if (exitCode < 0) {
            script += "sed '/^Terminating on signal/,$d' " + log +
                      "\n"
                      "trap 'sed -n \"/^Terminating on signal/,\\$p\" " +
                      log +
                      "; exit 5' TERM\n"
                      "while :; do sleep 0.05; done\n";
        } else {
            script += "cat " + log + "\nexit " + std::to_string(exitCode) + "\n";
        }
        WriteFile(dir + "/pppd", script, std::filesystem::perms::owner_all);
        options_.pppdPath = dir + "/pppd";
    }

    sim::AtPort port_;
    DialEntry entry_;
    DialupOptions options_;
    std::unique_ptr<IDialupService> service_;
    ProgressRecorder recorder_;
    ConnectionId id_ = 0;
    int fds_ = 0;
};

TEST_F(DialTest, ConnectThenRealPppdWithoutKernelSupport) {
    if (access("/dev/ppp", F_OK) == 0 || geteuid() != 0) {
        GTEST_SKIP() << "needs root on a kernel without PPP";
    }
    Start();
    DialAndWait("");
    std::vector<uint32_t> states = recorder_.States();
    ASSERT_EQ(states.size(), 6u);
    states.pop_back();
    EXPECT_EQ(states, kUpToConnect);
    EXPECT_EQ(Last().state, kStateAllDevicesConnected);
    EXPECT_EQ(Last().error, static_cast<uint32_t>(kErrorServiceCannotStart));
    EXPECT_EQ(Last().extended, 4u);  // pppd's exit status
    EXPECT_NE(DialErrorText(static_cast<int>(Last().error)).find("kernel support for PPP"),
              std::string::npos);
    // One dialer thread, not ours, carried every notification.
    for (const Progress& p : recorder_.Events()) {
        EXPECT_EQ(p.thread, recorder_.Events().front().thread);
        EXPECT_NE(p.thread, std::this_thread::get_id());
        EXPECT_EQ(p.id, id_);
    }
    const std::vector<std::string> commands = port_.Commands();
    EXPECT_EQ(commands, (std::vector<std::string>{"AT", "ATZ", "ATE0", "ATD#777"}));
    // Closing the tty after pppd ended dropped the call (the modem sees it a moment later).
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (port_.InCall() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(port_.InCall());
    EXPECT_EQ(port_.CallsEnded(), 1);
}

struct Refusal {
    const char* name;
    const char* number;
    int error;
};

class DialRefusedTest : public DialTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DialRefusedTest, EndsAtConnectingWithItsError) {
    Start();
    DialAndWait(GetParam().number);
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 1, 2, 2}));
    EXPECT_EQ(Last().error, static_cast<uint32_t>(GetParam().error));
    EXPECT_FALSE(port_.InCall());
}

INSTANTIATE_TEST_SUITE_P(ModemAnswers, DialRefusedTest,
                         ::testing::Values(Refusal{"NoCarrier", "5551111", kErrorNoCarrier},
                                           Refusal{"Busy", "5552222", kErrorLineBusy},
                                           Refusal{"NoAnswer", "5553333", kErrorNoAnswer},
                                           Refusal{"Silence", "5554444", kErrorRequestTimeout},
                                           Refusal{"NoDialtone", "5555555", kErrorNoDialtone},
                                           Refusal{"Error", "5556666", kErrorFromDevice}),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DialTest, FailsBeforeDiallingWhenThePortCannotBeUsed) {
    Start();
    // Held by another program: the same lock the serial transport takes.
    const int held = open(port_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    fds_ = OpenDescriptors();
    DialAndWait("");
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(Last().error, static_cast<uint32_t>(kErrorPortNotAvailable));
    close(held);
    fds_ = OpenDescriptors();

    // A device the entry names but nobody provides.
    entry_.deviceName = "Brivanta Modem 99";
    ASSERT_EQ(service_->SetEntry({}, entry_), kErrorOk);
    ProgressRecorder second;
    DialParams params;
    params.entryName = entry_.name;
    ASSERT_EQ(service_->Dial({}, params, second.Callback(), id_), kErrorOk);
    ASSERT_TRUE(second.WaitForEnd());
    EXPECT_EQ(second.Events().back().error, static_cast<uint32_t>(kErrorPortNotAvailable));

    // No such entry, and a number no modem can dial.
    ProgressRecorder third;
    params.entryName = "Missing";
    ASSERT_EQ(service_->Dial({}, params, third.Callback(), id_), kErrorOk);
    ASSERT_TRUE(third.WaitForEnd());
    EXPECT_EQ(third.Events().back().error, static_cast<uint32_t>(kErrorCannotFindEntry));
    ProgressRecorder fourth;
    params.entryName = entry_.name;
    params.phoneNumber = "12^M";
    ASSERT_EQ(service_->Dial({}, params, fourth.Callback(), id_), kErrorOk);
    ASSERT_TRUE(fourth.WaitForEnd());
    EXPECT_EQ(fourth.Events().back().error, static_cast<uint32_t>(kErrorWrongInfo));
    ExpectFinished();
}

TEST_F(DialTest, SilentModemFailsTheSetUp) {
    // A published tty that nobody answers.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int number = platform::PublishModem(ptsname(master), "Mute Modem");
    ASSERT_NE(number, 0);
    entry_.deviceName = "Mute Modem";
    options_.initTimeoutSeconds = 1;
    Start();
    DialAndWait("");
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(Last().error, static_cast<uint32_t>(kErrorPortOrDevice));
    platform::UnpublishModem(number);
    close(master);
}

TEST_F(DialTest, HangUpDuringTheDialogueStopsChatAndTheNotifications) {
    options_.dialTimeoutSeconds = 30;
    Start();
    DialParams params;
    params.entryName = entry_.name;
    params.phoneNumber = "4444";  // the modem stays silent
    ASSERT_EQ(service_->Dial({}, params, recorder_.Callback(), id_), kErrorOk);
    ASSERT_TRUE(recorder_.WaitForState(kStateConnectDevice));
    // A second dial while this one runs is refused at once.
    ConnectionId other = 0;
    EXPECT_EQ(service_->Dial({}, params, recorder_.Callback(), other), kErrorDialInProgress);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service_->HangUp(id_, 5000ms), kErrorOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "chat should go at SIGTERM";
    const size_t seen = recorder_.Events().size();
    EXPECT_EQ(Last().state, kStateDisconnected);
    EXPECT_EQ(Last().error, 0u);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder_.Events().size(), seen) << "a notification came after HangUp returned";
    ExpectFinished();
    EXPECT_EQ(service_->HangUp(id_, 5000ms), kErrorInvalidHandle);
}

TEST_F(DialTest, HangUpFromTheCallbackEndsTheDialQuietly) {
    Start();
    recorder_.react = [this](const Progress& p) {
        if (p.state == kStateConnectDevice) {
            EXPECT_EQ(service_->HangUp(p.id, 5000ms), kErrorOk);
        }
        return true;
    };
    DialParams params;
    params.entryName = entry_.name;
    ASSERT_EQ(service_->Dial({}, params, recorder_.Callback(), id_), kErrorOk);
    ASSERT_TRUE(recorder_.WaitForState(kStateConnectDevice));
    ExpectFinished();
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(port_.Commands(), (std::vector<std::string>{"AT", "ATZ", "ATE0"}))
        << "dialled after the hang-up";
}

TEST_F(DialTest, DestroyingTheServiceEndsItsDial) {
    options_.dialTimeoutSeconds = 30;
    Start();
    DialParams params;
    params.entryName = entry_.name;
    params.phoneNumber = "4444";
    ASSERT_EQ(service_->Dial({}, params, recorder_.Callback(), id_), kErrorOk);
    ASSERT_TRUE(recorder_.WaitForState(kStateConnectDevice));
    const auto start = std::chrono::steady_clock::now();
    service_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    const size_t seen = recorder_.Events().size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder_.Events().size(), seen);
    EXPECT_TRUE(NoChildren());
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

// A full session replayed by the stand-in pppd: states from its log, our hang-up as a plain disconnection,
// secrets only on descriptor 3.
TEST_F(DialTest, SessionStatesComeFromPppdsLog) {
    UseFakePppd("pppd-pap-session.log", -1);
    Start();
    const std::string password = "p@ss \"word\"";
    DialParams params;
    params.entryName = entry_.name;
    params.userName = "user";
    params.password = password;
    ASSERT_EQ(service_->Dial({}, params, recorder_.Callback(), id_), kErrorOk);
    ASSERT_TRUE(recorder_.WaitForState(kStateConnected));
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 14, kStateConnected}));

    std::vector<ConnectionInfo> connections;
    EXPECT_EQ(service_->EnumConnections(connections), kErrorOk);
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].id, id_);
    EXPECT_EQ(connections[0].entryName, "Test");
    ConnectStatus status;
    EXPECT_EQ(service_->GetConnectStatus(id_, status), kErrorOk);
    EXPECT_EQ(status.state, kStateConnected);

    // What the stand-in was given: no password in its arguments; the secrets on descriptor 3, and nothing
    // else of ours open.
    const std::string args = ReadAll(root_ + "/fake/args");
    EXPECT_EQ(args.find("p@ss"), std::string::npos);
    EXPECT_NE(args.find("ipparam\nvelmo-" + std::to_string(id_)), std::string::npos);
    EXPECT_NE(ReadAll(root_ + "/fake/secrets").find("password \"p\\100ss\\040\\042word\\042\""),
              std::string::npos);
    ConnectionRecord record;
    ASSERT_TRUE(ConnectionStore(options_.runtimeDir, "/proc").Read(id_, record));
    std::set<std::string> fds;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(record.pid) + "/fd")) {
        // The shell keeps its script open on a descriptor of its own choosing.
        if (std::filesystem::read_symlink(fd.path()) != options_.pppdPath) {
            fds.insert(fd.path().filename().string());
        }
    }
    EXPECT_EQ(fds, (std::set<std::string>{"0", "1", "2", "3"}));
    // Nor in any file the service keeps about the connection.
    for (const auto& f : std::filesystem::directory_iterator(root_ + "/run")) {
        EXPECT_EQ(ReadAll(f.path()).find("p@ss"), std::string::npos) << f.path();
    }

    EXPECT_EQ(service_->HangUp(id_, 5000ms), kErrorOk);
    EXPECT_EQ(Last().state, kStateDisconnected);
    EXPECT_EQ(Last().error, 0u);
    ExpectFinished();
}

struct Ending {
    const char* transcript;
    int exitStatus;
    std::vector<uint32_t> states;
    int error;
};

class PppdEndingTest : public DialTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(PppdEndingTest, EndsWithItsError) {
    UseFakePppd(GetParam().transcript, GetParam().exitStatus);
    Start();
    DialAndWait("");
    EXPECT_EQ(recorder_.States(), GetParam().states);
    EXPECT_EQ(Last().error, static_cast<uint32_t>(GetParam().error));
    EXPECT_EQ(Last().extended, static_cast<uint32_t>(GetParam().exitStatus));
}

INSTANTIATE_TEST_SUITE_P(
    Transcripts, PppdEndingTest,
    ::testing::Values(Ending{"pppd-auth-failure.log", 19, {0, 1, 2, 3, 4, 5, 5}, kErrorAuthenticationFailure},
                      Ending{"pppd-dropped-line.log",
                             16,
                             {0, 1, 2, 3, 4, 5, 6, 14, kStateConnected, kStateDisconnected},
                             kErrorPortDisconnected},
                      Ending{"pppd-no-kernel-ppp.log", 4, {0, 1, 2, 3, 4, 4}, kErrorServiceCannotStart},
                      Ending{"pppd-privilege.log", 2, {0, 1, 2, 3, 4, 4}, kErrorAccessDenied}),
    [](const ::testing::TestParamInfo<Ending>& info) {
        // "pppd-auth-failure.log" → "AuthFailure"
        std::string name;
        bool upper = true;
        for (const char* c = info.param.transcript + 5; *c != '\0' && *c != '.'; ++c) {
            if (*c == '-') {
                upper = true;
            } else {
                name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
                upper = false;
            }
        }
        return name;
    });

// Run by UnprivilegedUserIsToldWhatIsNeeded as an unprivileged user.
TEST_F(DialTest, DISABLED_DialAsThisUser) {
    ASSERT_NE(getuid(), 0u);
    Start();
    DialAndWait("");
    EXPECT_EQ(recorder_.States(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 4}));
    EXPECT_EQ(Last().error, static_cast<uint32_t>(kErrorAccessDenied));
}

// Without the dip group pppd cannot even be started; in it, pppd refuses noauth to anyone but root. Either
// way the dial ends with the error that says what is needed.
TEST_F(DialTest, UnprivilegedUserIsToldWhatIsNeeded) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become an unprivileged user";
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    // The child makes its folders in a scratch folder of its own beside this program (the machine's /tmp may
    // be closed to other users).
    const std::string scratch =
        std::filesystem::path(self).parent_path().string() + "/unprivileged-" + std::to_string(getpid());
    std::filesystem::create_directories(scratch);
    ASSERT_EQ(chown(scratch.c_str(), 65534, 65534), 0);
    auto runAs = [&](const char* group, std::vector<std::string> command) {
        std::vector<std::string> argv{"/usr/bin/env",
                                      "TMPDIR=" + scratch,
                                      "/usr/bin/setpriv",
                                      "--reuid=65534",
                                      std::string("--regid=") + group,
                                      "--clear-groups"};
        argv.insert(argv.end(), command.begin(), command.end());
        int error = 0;
        const pid_t pid = SpawnChild(argv, ChildFds{-1, 1, 2, -1}, error);
        EXPECT_GT(pid, 0) << std::strerror(error);
        return pid > 0 ? ReapChild(pid) : -1;
    };
    const int reach = runAs("nogroup", {"/bin/sh", "-c", "test -x \"$0\" && test -w \"$1\"", self, scratch});
    if (!WIFEXITED(reach) || WEXITSTATUS(reach) != 0) {
        std::filesystem::remove_all(scratch);
        GTEST_SKIP() << "an unprivileged user cannot reach " << self;
    }
    for (const char* group : {"nogroup", "dip"}) {
        const int status = runAs(group, {self, "--gtest_filter=DialTest.DISABLED_DialAsThisUser",
                                         "--gtest_also_run_disabled_tests"});
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "as nobody:" << group;
    }
    std::filesystem::remove_all(scratch);
    EXPECT_TRUE(NoChildren());
}

}  // namespace
}  // namespace velmo::dialup::test
