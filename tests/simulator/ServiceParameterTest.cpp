// NV items, NAM parameters, the SPC lock and the roaming list download through the library against the
// stand-in's NV store over a real pty.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "SessionFixture.h"

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
    EXPECT_EQ(Word(sim_->Answers().back(), 131), NvLocked);
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
    EXPECT_EQ(Word(sim_->Answers().back(), 131), NvLocked);
    EXPECT_EQ(modem_->VerifySpc("246810"), kResultOk);
}

TEST_F(ServiceParameterTest, WrittenValuesSurviveARestartOfTheStandIn) {
    Open();
    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    ASSERT_EQ(WriteParameter(1, "5550123"), kResultOk);
    ASSERT_EQ(WriteParameter(3, "212"), kResultOk);
    ASSERT_EQ(WriteParameter(28, "chap@velmo.net"), kResultOk);
    ASSERT_EQ(modem_->ChangeSpc("975312"), kResultOk);

    RestartStandIn();
    Open();
    EXPECT_EQ(ReadParameter(1), "5550123");
    EXPECT_EQ(ReadParameter(3), "212");
    EXPECT_EQ(ReadParameter(28), "chap@velmo.net");
    EXPECT_EQ(modem_->VerifySpc("000000"), kResultServiceParameterFailed);
    EXPECT_EQ(modem_->VerifySpc("975312"), kResultOk);
    std::string value;
    GetStateField(sim_->State(), "min", &value);
    EXPECT_EQ(value, "2125550123");

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
    EXPECT_EQ(item[1] | item[2] << 8, 1);  // 1xRTT and EV-DO; unpacked with the mode widened to 32 bits
    EXPECT_EQ(ReadItem(1000, item), NvInactive);
    EXPECT_EQ(ReadItem(5000, item), NvBadParameter);

    uint8_t data[kNvItemSize] = {0x11, 0x22, 0x33};
    EXPECT_EQ(modem_->WriteNvItem(1000, data), kResultOk);
    EXPECT_EQ(ReadItem(1000, item), 0);
    EXPECT_EQ(Bytes(item, item + 4), (Bytes{0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(modem_->WriteNvItem(459, data), kResultFailed);  // read-only
    EXPECT_EQ(Word(sim_->Answers().back(), 131), NvReadOnly);
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
    EXPECT_EQ(Word(blocks[2].packet, 4), 60 * 8);
    const DeviceState s = sim_->State();
    EXPECT_EQ(s.prl, list);
    EXPECT_EQ(s.nv.at(256)[1], 1);  // enabled again
    EXPECT_EQ(s.operatingMode, "offline");
    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 0x1234);

    // A list of whole blocks ends with an empty one; it survives a restart.
    const Bytes even = List(240, 0x0BEE);
    ASSERT_EQ(modem_->DownloadPrl(even.data(), static_cast<int32_t>(even.size())), kResultOk);
    EXPECT_EQ(Word(RequestsOf(PrlBlockRequest).back().packet, 4), 0);
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
        p[4] = static_cast<uint8_t>(bits);
        p[5] = static_cast<uint8_t>(bits >> 8);
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

}  // namespace
}  // namespace velmo::sim::test
