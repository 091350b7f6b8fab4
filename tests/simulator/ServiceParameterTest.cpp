// NV items, NAM parameters, the SPC lock and the roaming list download through the library against the
// stand-in's NV store over a real pty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "SessionFixture.h"
#include "simulator/ControlServer.h"

namespace velmo::sim::test {
namespace {

using namespace protocol;

class ServiceParameterTest : public SessionTest {
  protected:
    int32_t WriteParameter(uint8_t code, const std::string& value) {
        NamParameterRecord record{};
        record.Code = code;
        std::copy(value.begin(), value.end(), record.Value);
        return modem_->WriteNamParameter(&record);
    }
    // The value text of a parameter read; "status N" when the item status is not 0.
    std::string ReadParameter(int32_t code) {
        uint8_t out[kNamParameterReplySize];
        const int32_t status = modem_->ReadNamParameter(code, out);
        if (status != 0) {
            return "status " + std::to_string(status);
        }
        return std::string(reinterpret_cast<const char*>(out + 5));
    }
    int32_t ReadItem(int32_t item, uint8_t* data) {
        std::fill(data, data + kNvItemSize, 0xEE);
        return modem_->ReadNvItem(item, data);
    }
};

TEST_F(ServiceParameterTest, TheSpcUnlocksProtectedItemsForOneSession) {
    Open();
    EXPECT_EQ(modem_->VerifySpc("123456"), kResultServiceParameterFailed);
    EXPECT_EQ(LastRequest(SpcRequest), (Bytes{0x41, '1', '2', '3', '4', '5', '6'}));
    EXPECT_EQ(sim_->Answers().back(), (Bytes{0x41, 0}));

    // Locked: writes of the NAM fail, reads of the SPC and the A-key say why, other reads work.
    EXPECT_EQ(WriteParameter(1, "5550123"), kResultServiceParameterFailed);
    EXPECT_EQ(wire::Get16(sim_->Answers().back(), 131), NvLocked);
    EXPECT_EQ(ReadParameter(1), "5550100");
    uint8_t item[kNvItemSize];
    EXPECT_EQ(ReadItem(85, item), NvLocked);
    EXPECT_EQ(item[0], 0);  // nothing of the code leaks
    EXPECT_EQ(ReadItem(25, item), NvLocked);
    const uint8_t data[kNvItemSize] = {0, 0x2B, 0x10};
    EXPECT_EQ(modem_->WriteNvItem(259, data), kResultFailed);
    // The preferred mode is not protected: the settings window writes it without a code.
    EXPECT_EQ(WriteParameter(27, std::string("\x09\x00", 2)), kResultOk);

    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    EXPECT_EQ(sim_->Answers().back(), (Bytes{0x41, 1}));
    EXPECT_EQ(WriteParameter(1, "5550123"), kResultOk);
    EXPECT_EQ(ReadParameter(1), "5550123");
    EXPECT_EQ(ReadItem(85, item), 0);
    EXPECT_EQ(std::string(item, item + 6), "000000");

    // Closing the port ends the session and locks again.
    modem_->ClosePort();
    ASSERT_TRUE(Eventually([&] { return sim_->State().spcUnlocked == 0; }));
    Open();
    EXPECT_EQ(WriteParameter(1, "5550199"), kResultServiceParameterFailed);
    EXPECT_EQ(ReadParameter(1), "5550123");

    // A stand-in without the lock (for demos) lets everything through.
    Set("spc_lock", "0");
    EXPECT_EQ(WriteParameter(1, "5550199"), kResultOk);
}

TEST_F(ServiceParameterTest, ChangingTheSpc) {
    Open();
    EXPECT_EQ(modem_->ChangeSpc("111111"), kResultServiceParameterFailed);  // not unlocked
    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    EXPECT_EQ(modem_->ChangeSpc("12a456"), kResultServiceParameterFailed);  // the modem takes digits only
    ASSERT_EQ(modem_->ChangeSpc("246810"), kResultOk);
    EXPECT_EQ(sim_->State().nv.at(85)[0], '2');
    EXPECT_EQ(modem_->VerifySpc("000000"), kResultServiceParameterFailed);
    EXPECT_EQ(modem_->VerifySpc("246810"), kResultOk);

    // With "SPC change enabled" cleared the code stays.
    ASSERT_EQ(WriteParameter(24, std::string(1, '\0')), kResultOk);
    EXPECT_EQ(modem_->ChangeSpc("135791"), kResultServiceParameterFailed);
    EXPECT_EQ(wire::Get16(sim_->Answers().back(), 131), NvLocked);
    EXPECT_EQ(modem_->VerifySpc("246810"), kResultOk);
}

TEST_F(ServiceParameterTest, WrittenValuesSurviveARestartOfTheStandIn) {
    Open();
    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    ASSERT_EQ(WriteParameter(1, "5550123"), kResultOk);
    ASSERT_EQ(WriteParameter(3, "212"), kResultOk);
    ASSERT_EQ(WriteParameter(28, "chap@velmo.net"), kResultOk);
    ASSERT_EQ(WriteParameter(5, "302"), kResultOk);
    ASSERT_EQ(WriteParameter(7, "07"), kResultOk);
    ASSERT_EQ(WriteParameter(12, std::string("\x39\x30\x22\x00", 4)), kResultOk);  // SID 12345, NID 34
    ASSERT_EQ(modem_->ChangeSpc("975312"), kResultOk);

    RestartStandIn();
    Open();
    EXPECT_EQ(ReadParameter(1), "5550123");
    EXPECT_EQ(ReadParameter(3), "212");
    EXPECT_EQ(ReadParameter(28), "chap@velmo.net");
    EXPECT_EQ(modem_->VerifySpc("000000"), kResultServiceParameterFailed);
    EXPECT_EQ(modem_->VerifySpc("975312"), kResultOk);
    // Each value as the control channel shows it.
    const std::pair<const char*, const char*> shown[] = {
        {"min", "2125550123"}, {"chap_id", "chap@velmo.net"}, {"mcc", "302"},
        {"imsi_11_12", "07"},  {"home_sid", "12345"},         {"home_nid", "34"},
        {"spc", "975312"},
    };
    for (const auto& [name, want] : shown) {
        std::string value;
        EXPECT_TRUE(GetStateField(sim_->State(), name, &value)) << name;
        EXPECT_EQ(value, want) << name;
    }

    // The same scenario again keeps the device; another one replaces it.
    RestartStandIn("healthy-evdo");
    Open();
    EXPECT_EQ(ReadParameter(1), "5550123");
    RestartStandIn("roaming");
    Open();
    EXPECT_EQ(ReadParameter(1), "5550100");
}

TEST_F(ServiceParameterTest, RawItemsAndTheirStatuses) {
    Open();
    uint8_t item[kNvItemSize];
    EXPECT_EQ(ReadItem(0, item), 0);  // item 0 reads item 82
    EXPECT_EQ(LastRequest(NvReadRequest)[1], 82);
    EXPECT_EQ(ReadItem(10, item), 0);
    EXPECT_EQ(wire::Get16(item, 1), 1);  // 1xRTT and EV-DO; unpacked with the mode widened to 32 bits
    EXPECT_EQ(ReadItem(1000, item), NvInactive);
    EXPECT_EQ(ReadItem(5000, item), NvBadParameter);

    uint8_t data[kNvItemSize] = {0x11, 0x22, 0x33};
    EXPECT_EQ(modem_->WriteNvItem(1000, data), kResultOk);
    EXPECT_EQ(ReadItem(1000, item), 0);
    EXPECT_EQ(Bytes(item, item + 4), (Bytes{0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(modem_->WriteNvItem(459, data), kResultFailed);  // read-only
    EXPECT_EQ(wire::Get16(sim_->Answers().back(), 131), NvReadOnly);
    EXPECT_EQ(modem_->WriteNvItem(5000, data), kResultFailed);

    // Item 290 goes out with its first byte only.
    EXPECT_EQ(modem_->WriteNvItem(290, data), kResultOk);
    const Bytes sent = LastRequest(NvWriteRequest);
    ASSERT_EQ(sent.size(), kNvBlockSize);
    EXPECT_EQ(sent[3], 0x11);
    EXPECT_EQ(sent[4], 0);

    // The ESN is item 0 on the wire for parameter code 0, and it cannot be written.
    uint8_t out[kNamParameterReplySize];
    ASSERT_EQ(modem_->ReadNamParameter(0, out), 0);
    EXPECT_EQ(Bytes(out + 5, out + 9), (Bytes{0x11, 0x2C, 0x3A, 0x8F}));
    EXPECT_EQ(modem_->WriteNvItem(0, data), kResultFailed);
}

// The test's own roaming list: length and version up front, most significant byte first.
Bytes List(size_t size, uint16_t version) {
    Bytes list(size);
    for (size_t i = 0; i < size; ++i) {
        list[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    list[0] = static_cast<uint8_t>(size >> 8);
    list[1] = static_cast<uint8_t>(size);
    list[2] = static_cast<uint8_t>(version >> 8);
    list[3] = static_cast<uint8_t>(version);
    return list;
}

TEST_F(ServiceParameterTest, RoamingListDownload) {
    Open();
    ModemStatusRecord r{};
    const Bytes list = List(300, 0x1234);
    // Without the SPC the clearing fails and nothing is sent.
    EXPECT_EQ(modem_->DownloadPrl(list.data(), static_cast<int32_t>(list.size())),
              kResultServiceParameterFailed);
    EXPECT_TRUE(RequestsOf(PrlBlockRequest).empty());
    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 10052);  // the old list is untouched

    ASSERT_EQ(modem_->ResetModem(), kResultOk);
    std::this_thread::sleep_for(resetSilence_ + 50ms);
    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    ASSERT_EQ(modem_->DownloadPrl(list.data(), static_cast<int32_t>(list.size())), kResultOk);
    const std::vector<LoggedRequest> blocks = RequestsOf(PrlBlockRequest);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(wire::Get16(blocks[2].packet, 4), 60 * 8);
    const DeviceState s = sim_->State();
    EXPECT_EQ(s.prl, list);
    EXPECT_EQ(s.nv.at(256)[1], 1);  // enabled again
    EXPECT_EQ(s.operatingMode, "offline");
    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 0x1234);
    std::string size;
    std::string version;
    ASSERT_TRUE(GetStateField(s, "prl_size", &size));
    ASSERT_TRUE(GetStateField(s, "prl_version", &version));
    EXPECT_EQ(size + " " + version, "300 4660");

    // A list of whole blocks ends with an empty one; it survives a restart.
    const Bytes even = List(240, 0x0BEE);
    ASSERT_EQ(modem_->DownloadPrl(even.data(), static_cast<int32_t>(even.size())), kResultOk);
    const Bytes last = RequestsOf(PrlBlockRequest).back().packet;
    ASSERT_GE(last.size(), 6u);
    EXPECT_EQ(wire::Get16(last, 4), 0);
    RestartStandIn();
    Open();
    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 0x0BEE);
    EXPECT_EQ(sim_->State().prl, even);
}

TEST_F(ServiceParameterTest, RoamingListBlocksAreCheckedForOrderBitsAndMode) {
    Open();
    auto block = [&](uint8_t number, uint16_t bits) {
        Bytes p(126, 0x55);
        p[0] = PrlBlockRequest;
        p[1] = number;
        p[2] = 0;
        p[3] = 0;
        wire::Put16(p, 4, bits);
        return sim_->Answer(p);
    };
    EXPECT_EQ(block(0, 960)[1], PrlNotPrepared);  // online
    ASSERT_EQ(modem_->SetOfflineMode(), kResultOk);
    EXPECT_EQ(block(0, 960)[1], PrlNotPrepared);  // the area was not cleared
    Set("spc_unlocked", "1");
    NamParameterRecord clear{};
    clear.Code = 32;
    ASSERT_EQ(modem_->WriteNamParameter(&clear), kResultOk);
    EXPECT_TRUE(sim_->State().prl.empty());
    ModemStatusRecord r{};
    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 0);

    EXPECT_EQ(block(0, 960), (Bytes{PrlBlockRequest, PrlBlockTaken, 1, 0}));
    EXPECT_EQ(block(2, 960)[1], PrlOutOfOrder);
    ASSERT_EQ(modem_->WriteNamParameter(&clear), kResultOk);
    EXPECT_EQ(block(0, 968)[1], PrlBadBitCount);
    ASSERT_EQ(modem_->WriteNamParameter(&clear), kResultOk);
    EXPECT_EQ(block(0, 100)[1], PrlBadBitCount);  // not whole bytes
    ASSERT_EQ(modem_->WriteNamParameter(&clear), kResultOk);

    // Block numbers wrap at 256.
    for (int i = 0; i < 257; ++i) {
        ASSERT_EQ(block(static_cast<uint8_t>(i), 960)[1], PrlBlockTaken) << i;
    }
    EXPECT_EQ(block(1, 32), (Bytes{PrlBlockRequest, PrlListStored, 0x02, 0x01}));
    EXPECT_EQ(sim_->State().prl.size(), 257u * 120 + 4);
}

// Sends stderr to a file while it lives.
class StderrToFile {
  public:
    explicit StderrToFile(const std::string& path) : saved_(dup(STDERR_FILENO)) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::fflush(stderr);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrToFile() {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StderrToFile(const StderrToFile&) = delete;
    StderrToFile& operator=(const StderrToFile&) = delete;

  private:
    int saved_;
};

// The byte from which each kind of request this test sends is personal; the size when none of it is.
size_t FirstPersonalByte(const Bytes& p) {
    if (p[0] == SpcRequest) {
        return 1;
    }
    if (p[0] == NvWriteRequest &&
        (wire::Get16(p, 1) == 85 || wire::Get16(p, 1) == 25 || wire::Get16(p, 1) == 580)) {
        return 3;
    }
    if (p[0] == Request60 && (p[2] == 36 || p[2] == 38 || p[2] == 40 || p[2] == 50)) {
        return 3;
    }
    if (p[0] == Request60 && p[2] == 37) {
        return 4;  // the on/off flag is not
    }
    return p.size();
}

// Each kind of personal field, sent through the library over the pty: the log lines and the control channel's
// list show it masked from its first personal byte on, and the other requests in full.
TEST_F(ServiceParameterTest, TheRequestLogMasksCodesKeysPasswordsAndMessages) {
    Open();
    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    Bytes message = Concat({{Request60, 1, 50}, Bytes(kRequest60BulkSize, 0)});
    std::copy_n("6195550123", 10, message.begin() + 3);
    std::copy_n("meet at noon", 12, message.begin() + 40);
    const uint8_t chap[kNvItemSize] = {6, 's', 'e', 'c', 'r', 'e', 't'};
    {
        StderrToFile capture(dir_ + "/stderr.log");
        sim_->SetLogging(true);
        ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
        EXPECT_EQ(modem_->ChangeSpc("246810"), kResultOk);
        EXPECT_EQ(WriteParameter(26, "1234567890123456"), kResultOk);  // the A-key
        EXPECT_EQ(modem_->WriteNvItem(580, chap), kResultOk);          // the CHAP password, as an item
        EXPECT_EQ(WriteParameter(29, "s3cr3t"), kResultOk);            // ... and as a parameter
        EXPECT_EQ(WriteParameter(27, std::string("\x09\x00", 2)), kResultOk);
        EXPECT_FALSE(Send60(Concat({{Request60, 1, 36}, CodeField("1234")})).empty());
        EXPECT_FALSE(Send60(Concat({{Request60, 1, 37, 0}, CodeField("1234")})).empty());
        EXPECT_FALSE(Send60(Concat({{Request60, 1, 38}, CodeField("1234"), CodeField("4321")})).empty());
        EXPECT_FALSE(Send60(Concat({{Request60, 1, 40}, CodeField("12345678"), CodeField("1234")})).empty());
        EXPECT_FALSE(Send60(message).empty());
        EXPECT_FALSE(Send60({Request60, 1, 34}).empty());
        sim_->SetLogging(false);
    }

    std::vector<std::string> printed;
    std::ifstream log(dir_ + "/stderr.log");
    for (std::string line; std::getline(log, line);) {
        if (line.starts_with("velmo-modem-sim: request ")) {
            printed.push_back(line.substr(25));
        }
    }
    bool quit = false;
    std::string listed = "ok\n";
    for (const std::string& line : printed) {
        listed += line + "\n";
    }
    EXPECT_EQ(control.Execute("requests", &quit), listed + "end\n");

    const std::vector<LoggedRequest> requests = sim_->Requests();
    ASSERT_EQ(printed.size(), requests.size());
    size_t masked = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const Bytes& p = requests[i].packet;
        const size_t from = FirstPersonalByte(p);
        std::string want = HexString({p.data(), from});
        for (size_t k = from; k < p.size(); ++k) {
            want += " **";
        }
        EXPECT_EQ(printed[i], want) << HexString(p);
        masked += from < p.size() ? 1 : 0;
    }
    EXPECT_EQ(masked, 10u);  // all but the preferred mode and the user status
}

}  // namespace
}  // namespace velmo::sim::test
