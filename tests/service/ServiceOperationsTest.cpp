// The device and parameter operations of the service object against a scripted modem on a real pty. The
// service runs on a virtual clock: a modem that stays silent moves the clock past the wait instead of making
// the test sit through it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "library/service/ModemService.h"
#include "platform/Clock.h"
#include "support/PtyModem.h"
#include "wire/LeCursor.h"

namespace velmo::service {
namespace {

using namespace std::chrono_literals;
using testsupport::Bytes;
using testsupport::Packet;
using testsupport::PortsFolder;
using testsupport::PtyModem;
using testsupport::Script;

constexpr uint8_t kNvRead = 0x26;
constexpr uint8_t kNvWrite = 0x27;
constexpr size_t kNvPacketSize = 133;

Bytes Counting(size_t n, uint8_t first = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(first + i);
    }
    return out;
}

// An NV reply: the request with its status word set and, when given, other item data.
Bytes NvAnswer(const Bytes& request, uint16_t status, const Bytes& data = {}) {
    Bytes reply = request;
    reply.resize(kNvPacketSize, 0);
    std::copy(data.begin(), data.begin() + static_cast<long>(std::min<size_t>(data.size(), 128)),
              reply.begin() + 3);
    wire::Put16(reply, 131, status);
    return reply;
}

uint16_t ItemOf(const Bytes& request) {
    return request.size() >= 3 ? wire::Get16(request, 1) : 0xFFFF;
}

// The service on a virtual clock, opened on a pty modem that answers the start-up handshake and then what the
// test's script says.
class Service : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(modem_.SlavePath().empty());
        ASSERT_TRUE(folder_.Link(1, modem_.SlavePath()));
        service_ = std::make_unique<ModemService>(clock_);
    }
    // The script may capture the test's locals: none runs after the test, while the service closes.
    void TearDown() override {
        SetScript({});
        service_.reset();
    }

    void Open(Script script = {}) {
        SetScript(std::move(script));
        ASSERT_EQ(service_->OpenSerialPort(1, 115200), 0);
        // The handshake ends with a request nobody waits for: let it arrive, then start counting afresh.
        ASSERT_TRUE(modem_.WaitForRequests(3));
        modem_.ClearRequests();
    }
    void SetScript(Script script) {
        modem_.SetScript([script = std::move(script)](const Bytes& request) {
            std::vector<Bytes> answers = script ? script(request) : std::vector<Bytes>{};
            return answers.empty() ? testsupport::HandshakeAnswers(request) : answers;
        });
    }
    // What a modem that does not answer looks like from the service: its wait runs out. Called from a script,
    // after the service has started waiting.
    std::vector<Bytes> Silence() {
        std::this_thread::sleep_for(20ms);
        clock_.Advance(10000);
        return {};
    }
    std::vector<Bytes> Sent(uint8_t code) {
        std::vector<Bytes> out;
        for (const Bytes& r : modem_.Requests()) {
            if (r[0] == code) {
                out.push_back(r);
            }
        }
        return out;
    }
    std::vector<uint8_t> Codes() {
        std::vector<uint8_t> out;
        for (const Bytes& r : modem_.Requests()) {
            out.push_back(r[0]);
        }
        return out;
    }

    PortsFolder folder_;
    PtyModem modem_;
    platform::FakeClock clock_{0, std::chrono::milliseconds(2000)};
    std::unique_ptr<ModemService> service_;
};

// --- NV items
// -----------------------------------------------------------------------------------------------

TEST_F(Service, ReadNvItemZeroAsksForItem82AndReturnsTheReplyStatus) {
    std::atomic<uint16_t> status{0};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvRead) {
            return {NvAnswer(r, status.load(), Counting(128, 0xA0))};
        }
        return {};
    });
    Bytes buffer = Counting(128, 0x30);
    EXPECT_EQ(service_->ReadNvItem(0, buffer.data()), 0);
    ASSERT_EQ(Sent(kNvRead).size(), 1u);
    Bytes want = {kNvRead, 82, 0x00};
    const Bytes callers = Counting(128, 0x30);
    want.insert(want.end(), callers.begin(), callers.end());
    want.insert(want.end(), {0x00, 0x00});
    EXPECT_EQ(Sent(kNvRead)[0], want);
    // Item 82 unpacks four bytes; the rest of the item area has never been written.
    Bytes out = Counting(4, 0xA0);
    out.resize(128, 0);
    EXPECT_EQ(buffer, out);

    status.store(5);
    EXPECT_EQ(service_->ReadNvItem(82, buffer.data()), 5);
    EXPECT_EQ(service_->GetLastResult(), 5);
}

TEST_F(Service, ReadNvItemWithoutADecoderReturnsThatReplysOwnData) {
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvRead) {
            return {NvAnswer(r, 0, Counting(128, static_cast<uint8_t>(ItemOf(r))))};
        }
        return {};
    });
    Bytes buffer(128, 0);
    ASSERT_EQ(service_->ReadNvItem(20, buffer.data()), 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), Counting(5, 20));
    // Item 63 has no decoder: its own reply's data, not what item 20 left in the item area.
    ASSERT_EQ(service_->ReadNvItem(63, buffer.data()), 0);
    EXPECT_EQ(buffer, Counting(128, 63));
}

TEST_F(Service, TruncatedOrMissingNvReplyIsNoAnswer) {
    std::atomic<int> mode{0};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != kNvRead) {
            return {};
        }
        if (mode.load() == 0) {
            return {Packet({kNvRead, r[1], r[2]}, 50, 0x00)};  // no status word
        }
        return Silence();
    });
    Bytes buffer = Counting(128);
    EXPECT_EQ(service_->ReadNvItem(20, buffer.data()), 0xFFFF);
    EXPECT_EQ(service_->GetLastResult(), 0xFFFF);
    EXPECT_EQ(buffer, Counting(128));
    mode.store(1);
    EXPECT_EQ(service_->ReadNvItem(20, buffer.data()), 0xFFFF);
    EXPECT_EQ(buffer, Counting(128));
}

TEST_F(Service, WriteNvItemSucceedsOnlyWithStatusDone) {
    std::atomic<uint16_t> status{0};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvWrite) {
            return {NvAnswer(r, status.load())};
        }
        return {};
    });
    const Bytes data = Counting(128, 0x40);
    EXPECT_EQ(service_->WriteNvItem(178, data.data()), 0);
    Bytes want = {kNvWrite, 178, 0x00};
    want.insert(want.end(), data.begin(), data.end());
    want.insert(want.end(), {0x00, 0x00});
    ASSERT_EQ(Sent(kNvWrite).size(), 1u);
    EXPECT_EQ(Sent(kNvWrite)[0], want);

    status.store(3);
    EXPECT_EQ(service_->WriteNvItem(178, data.data()), 0xFFFF);
    EXPECT_EQ(service_->GetLastResult(), 0xFFFF);
}

TEST_F(Service, WriteNvItem290SendsOnlyItsFirstByte) {
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvWrite) {
            return {NvAnswer(r, 0)};
        }
        return {};
    });
    const Bytes data(128, 0xFF);
    EXPECT_EQ(service_->WriteNvItem(290, data.data()), 0);
    Bytes want(kNvPacketSize, 0);
    want[0] = kNvWrite;
    wire::Put16(want, 1, 290);
    want[3] = 0xFF;
    ASSERT_EQ(Sent(kNvWrite).size(), 1u);
    EXPECT_EQ(Sent(kNvWrite)[0], want);
}

// --- NAM parameters and SPC
// -----------------------------------------------------------------------------------

NamParameterRecord Record(int32_t code, const std::string& value) {
    NamParameterRecord record{};
    record.Code = static_cast<uint8_t>(code);
    std::memcpy(record.Value, value.data(), std::min(value.size(), sizeof record.Value));
    return record;
}

TEST_F(Service, WriteNamParameterChecksTheItemStatus) {
    std::atomic<uint16_t> status{0};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvWrite) {
            return {NvAnswer(r, status.load())};
        }
        return {};
    });
    const NamParameterRecord min1 = Record(1, "5550123");
    EXPECT_EQ(service_->WriteNamParameter(&min1), 0);
    EXPECT_EQ(service_->GetLastResult(), 0);
    ASSERT_EQ(Sent(kNvWrite).size(), 1u);
    const Bytes sent = Sent(kNvWrite)[0];
    EXPECT_EQ(ItemOf(sent), 32);
    const uint32_t stored = (444u << 14) | (10u << 10) | 12u;
    for (size_t at : {4, 8}) {
        EXPECT_EQ(wire::Get32(sent, at), stored);
    }

    status.store(1);
    EXPECT_EQ(service_->WriteNamParameter(&min1), 19);
    EXPECT_EQ(service_->GetLastResult(), 19);
    status.store(0);
    EXPECT_EQ(service_->ChangeSpc("654321"), 0);
    const Bytes spc = Sent(kNvWrite).back();
    EXPECT_EQ(ItemOf(spc), 85);
    EXPECT_EQ(std::string(spc.begin() + 3, spc.begin() + 10), std::string("654321\0", 7));
}

TEST_F(Service, MalformedParametersAreRefusedWithoutSending) {
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvWrite) {
            return {NvAnswer(r, 0)};
        }
        return {};
    });
    for (const NamParameterRecord& bad :
         {Record(1, "555012"), Record(1, "55501234"), Record(3, "12"), Record(5, "3a0"), Record(7, "x1"),
          Record(11, "555123456x"), Record(26, "1844674407370955161x"), Record(26, "18446744073709551616")}) {
        EXPECT_EQ(service_->WriteNamParameter(&bad), 19) << int{bad.Code};
        EXPECT_EQ(service_->GetLastResult(), 19);
    }
    EXPECT_EQ(service_->WriteNamParameter(nullptr), 19);
    // A good write after them is the only one the modem sees.
    const NamParameterRecord good = Record(5, "310");
    EXPECT_EQ(service_->WriteNamParameter(&good), 0);
    ASSERT_EQ(modem_.Requests().size(), 1u);
    EXPECT_EQ(ItemOf(modem_.Requests()[0]), 176);
}

TEST_F(Service, ReadNamParameterDecodesTheItemAndZeroesItsOutput) {
    std::atomic<bool> silent{false};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != kNvRead) {
            return {};
        }
        if (silent.load()) {
            return Silence();
        }
        Bytes data(128, 0xEE);
        data[0] = 0;
        const uint32_t stored = (444u << 14) | (10u << 10) | 12u;
        for (size_t at : {1, 5}) {
            wire::Put32(data, at, stored);
        }
        return {NvAnswer(r, 0, data)};
    });
    Bytes out(kNamParameterReplySize, 0x77);
    EXPECT_EQ(service_->ReadNamParameter(1, out.data()), 0);
    EXPECT_EQ(ItemOf(Sent(kNvRead).at(0)), 32);
    Bytes want = {0xE0, 0x22, 0x00, 0x00, 0x00, '5', '5', '5', '0', '1', '2', '3'};
    want.resize(kNamParameterReplySize, 0);
    EXPECT_EQ(out, want);

    silent.store(true);
    std::fill(out.begin(), out.end(), 0x77);
    EXPECT_EQ(service_->ReadNamParameter(1, out.data()), 0xFFFF);
    EXPECT_EQ(out, Bytes(kNamParameterReplySize, 0));
}

TEST_F(Service, VerifySpcAcceptsOnlyAnAcceptingReply) {
    std::atomic<uint8_t> accept{0};
    std::atomic<bool> silent{false};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != 0x41) {
            return {};
        }
        if (silent.load()) {
            return Silence();
        }
        return {Bytes{0x41, accept.load()}};
    });
    EXPECT_EQ(service_->VerifySpc("000000"), 19);
    EXPECT_EQ(service_->GetLastResult(), 19);
    accept.store(1);
    EXPECT_EQ(service_->VerifySpc("123456"), 0);
    EXPECT_EQ(service_->GetLastResult(), 0);
    ASSERT_EQ(Sent(0x41).size(), 2u);
    EXPECT_EQ(Sent(0x41)[1], (Bytes{0x41, '1', '2', '3', '4', '5', '6'}));
    // Fewer than six characters: zeros after them, nothing read past the caller's text.
    EXPECT_EQ(service_->VerifySpc("12"), 0);
    EXPECT_EQ(Sent(0x41)[2], (Bytes{0x41, '1', '2', 0, 0, 0, 0}));
    silent.store(true);
    EXPECT_EQ(service_->VerifySpc("123456"), 19);
}

// --- Roaming list download
// ------------------------------------------------------------------------------------

// A modem that goes offline at once and takes every write and block.
std::vector<Bytes> CooperativeModem(const Bytes& r) {
    switch (r[0]) {
        case 0x29:
            return {Bytes{0x29, r[1], 0x00}};
        case 0x0C: {
            Bytes status = Packet({0x0C}, 48);
            status[32] = 2;  // offline
            return {status};
        }
        case kNvWrite:
            return {NvAnswer(r, 0)};
        case 0x48:
            return {Bytes{0x48, 0x00, 0x00, 0x00}};
        default:
            return {};
    }
}

TEST_F(Service, DownloadPrlOf240Bytes) {
    Open(CooperativeModem);
    const Bytes prl = Counting(240, 0x01);
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x29, 0x0C, kNvWrite, 0x48, 0x48, 0x48, kNvWrite}));
    const auto requests = modem_.Requests();
    EXPECT_EQ(requests[0], (Bytes{0x29, 0x01, 0x00}));

    Bytes clear(kNvPacketSize, 0);
    clear[0] = kNvWrite;
    wire::Put16(clear, 1, 231);
    EXPECT_EQ(requests[2], clear);

    const uint16_t bits[] = {960, 960, 0};
    const uint8_t follow[] = {2, 1, 0};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Bytes want(126, 0);
        want[0] = 0x48;
        want[1] = static_cast<uint8_t>(i);
        want[2] = follow[i];
        wire::Put16(want, 4, bits[i]);
        if (i < 2) {
            std::copy(prl.begin() + static_cast<long>(120 * i),
                      prl.begin() + static_cast<long>(120 * (i + 1)), want.begin() + 6);
        }
        EXPECT_EQ(requests[3 + i], want);
    }

    Bytes enable(kNvPacketSize, 0);
    enable[0] = kNvWrite;
    wire::Put16(enable, 1, 256);
    enable[4] = 1;
    EXPECT_EQ(requests[6], enable);
}

TEST_F(Service, DownloadPrlBitCountOfAPartialLastBlock) {
    Open(CooperativeModem);
    const Bytes prl = Counting(125, 0x01);
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0);
    const auto blocks = Sent(0x48);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(wire::Get16(blocks[1], 4), 40);
    EXPECT_EQ(blocks[1][2], 0);
    EXPECT_EQ(Bytes(blocks[1].begin() + 6, blocks[1].begin() + 11), Bytes(prl.begin() + 120, prl.end()));
    EXPECT_EQ(Bytes(blocks[1].begin() + 11, blocks[1].end()), Bytes(115, 0));
}

TEST_F(Service, DownloadPrlOf301BlocksWrapsNumberAndToFollow) {
    Open(CooperativeModem);
    const Bytes prl(120 * 300, 0x5A);
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0);
    const auto blocks = Sent(0x48);
    ASSERT_EQ(blocks.size(), 301u);
    for (size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(blocks[i][1], static_cast<uint8_t>(i)) << i;
        ASSERT_EQ(blocks[i][2], static_cast<uint8_t>(300 - i)) << i;
        ASSERT_GE(blocks[i].size(), 6u) << i;
        ASSERT_EQ(wire::Get16(blocks[i], 4), i < 300 ? 960 : 0) << i;
    }
    EXPECT_EQ(Codes().back(), kNvWrite);
}

TEST_F(Service, DownloadPrlStopsAtTheFirstFailingStep) {
    // A block the modem refuses.
    Open([](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == 0x48 && r[1] == 1) {
            return {Bytes{0x48, 0x02, 0x00, 0x00}};
        }
        return CooperativeModem(r);
    });
    const Bytes prl(360, 0x11);
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0xFFFF);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x29, 0x0C, kNvWrite, 0x48, 0x48}));

    // The clear write fails: the parameter write's code, and no block goes out.
    modem_.ClearRequests();
    SetScript([](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == kNvWrite) {
            return {NvAnswer(r, 7)};
        }
        return CooperativeModem(r);
    });
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 19);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x29, 0x0C, kNvWrite}));

    // The modem does not take the offline request.
    modem_.ClearRequests();
    SetScript([this](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == 0x29) {
            return Silence();
        }
        return CooperativeModem(r);
    });
    EXPECT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0xFFFF);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x29}));
}

// Every post with the thread it came on.
class ProgressRecorder final : public IModemNotifyTarget {
  public:
    struct Post {
        uint32_t message;
        uintptr_t acknowledged;
        intptr_t total;
        std::thread::id thread;
        bool operator==(const Post&) const = default;
    };
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard lk(mutex_);
        posts_.push_back({message, wParam, lParam, std::this_thread::get_id()});
    }
    std::vector<Post> Take() {
        std::lock_guard lk(mutex_);
        return std::exchange(posts_, {});
    }

  private:
    std::mutex mutex_;
    std::vector<Post> posts_;
};

TEST_F(Service, DownloadPrlPostsItsProgressOnTheCallingThread) {
    std::atomic<int> refuseBlock{-1};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == 0x48 && r[1] == refuseBlock.load()) {
            return {Bytes{0x48, 0x02, 0x00, 0x00}};
        }
        return CooperativeModem(r);
    });
    ProgressRecorder recorder;
    ASSERT_EQ(service_->SetNotifyWindow(&recorder), 0);
    const auto me = std::this_thread::get_id();
    auto expected = [&](uintptr_t upTo, intptr_t total) {
        std::vector<ProgressRecorder::Post> posts;
        for (uintptr_t n = 0; n <= upTo; ++n) {
            posts.push_back({kPrlProgressMessage, n, total, me});
        }
        return posts;
    };

    // 250 bytes are three blocks: "0 of 3" before the first, then one post per acknowledged block.
    const Bytes prl = Counting(250);
    ASSERT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0);
    EXPECT_EQ(recorder.Take(), expected(3, 3));

    // A refused block ends the posts with the last one the modem took.
    refuseBlock.store(2);
    const Bytes longer(600, 0x22);
    EXPECT_EQ(service_->DownloadPrl(longer.data(), static_cast<int32_t>(longer.size())), 0xFFFF);
    EXPECT_EQ(recorder.Take(), expected(2, 6));

    // Without a target nothing is posted, and the download is the same.
    refuseBlock.store(-1);
    ASSERT_EQ(service_->SetNotifyWindow(nullptr), 0);
    modem_.ClearRequests();
    ASSERT_EQ(service_->DownloadPrl(prl.data(), static_cast<int32_t>(prl.size())), 0);
    EXPECT_EQ(Sent(0x48).size(), 3u);
    EXPECT_TRUE(recorder.Take().empty());
}

// --- Status, time, mode
// --------------------------------------------------------------------------------------

// Replies that the QueryStatus kinds read, every byte distinct where it matters.
std::vector<Bytes> StatusModem(const Bytes& r) {
    switch (r[0]) {
        case 0x49: {
            Bytes reply = {0x49, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x03};  // 960 bits
            const Bytes data = Counting(120, 0x10);
            reply.insert(reply.end(), data.begin(), data.end());
            reply[10] = 0x12;
            reply[11] = 0x34;
            return {reply};
        }
        case 0x7C: {
            Bytes reply = Packet({0x7C}, 12, 0x01);
            for (char c : std::string("SW-REV 1.2")) {
                reply.push_back(static_cast<uint8_t>(c));
            }
            reply.insert(reply.end(), {0x00, 'X', 'Y'});
            return {reply};
        }
        case 0x00: {
            Bytes reply = Counting(55, 0x00);
            return {reply};
        }
        case 0x0C: {
            Bytes reply = Counting(48, 0x00);
            reply[0] = 0x0C;
            return {reply};
        }
        case 0x4B: {
            Bytes reply = Counting(44, 0x00);
            reply[0] = 0x4B;
            reply[1] = r[1];
            if (r[1] == 0x0F) {
                reply[4] = 5;  // call state: traffic
                reply[5] = reply[6] = reply[7] = 0;
                reply[12] = 2;  // service
                reply[13] = reply[14] = reply[15] = 0;
                reply[16] = 3;  // mode
                reply[17] = reply[18] = reply[19] = 0;
            }
            return {reply};
        }
        default:
            return {};
    }
}

ModemStatusRecord Patterned() {
    ModemStatusRecord record;
    std::memset(&record, 0x5A, sizeof record);
    return record;
}

Bytes RecordBytes(const ModemStatusRecord& r) {
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    return Bytes(p, p + sizeof r);
}

TEST_F(Service, QueryStatusKindsWriteOnlyTheirFields) {
    Open(StatusModem);
    ModemStatusRecord record = Patterned();
    ModemStatusRecord want = Patterned();

    ASSERT_EQ(service_->QueryStatus(&record, 0), 0);
    EXPECT_EQ(Sent(0x49).at(0), (Bytes{0x49, 0x00, 0x00}));
    want.PrlVersion = 0x1234;
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 0";

    ASSERT_EQ(service_->QueryStatus(&record, 1), 0);
    std::memset(want.SoftwareRevision, 0, sizeof want.SoftwareRevision);
    std::memcpy(want.SoftwareRevision, "SW-REV 1.2", 10);
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 1";

    ASSERT_EQ(service_->QueryStatus(&record, 2), 0);
    want.CaiRevision = 48;
    want.FirmwareRevision = 50 | (51 << 8);
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 2";

    ASSERT_EQ(service_->QueryStatus(&record, 3), 0);
    want.Esn = 0x07060504;
    want.RfMode = 8;
    want.RxState = 23 | (24 << 8);
    want.Channel = 34 | (35 << 8);
    want.PilotPn = 37 | (38 << 8);
    want.Sid = 39 | (40 << 8);
    want.Nid = 41 | (42 << 8);
    want.Rssi1x = 45;
    want.RssiEvdo = 120;  // no level record yet: -(-120)
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 3";

    ASSERT_EQ(service_->QueryStatus(&record, 4), 0);
    EXPECT_EQ(Sent(0x4B).at(0), (Bytes{0x4B, 0x0F, 0x00, 0x00}));
    want.ZeroWord = 0;
    want.Flag26 = 0;
    want.Flag10 = 1;
    want.Roam = 0;
    want.Flag11 = 0;
    want.Flag27 = 0;
    want.InTraffic = 1;
    want.InService = 1;
    want.SystemState = 8;
    want.NetworkKind = 9;
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 4";

    ASSERT_EQ(service_->QueryStatus(&record, 5), 0);
    EXPECT_EQ(Sent(0x4B).at(1), (Bytes{0x4B, 0x05, 0x08, 0x00}));
    want.EvdoPresent = 4;
    EXPECT_EQ(RecordBytes(record), RecordBytes(want)) << "kind 5";

    // Kinds outside 0..5 send nothing and write nothing.
    const size_t sent = modem_.Requests().size();
    for (int32_t kind : {6, 7, -1, 1000}) {
        EXPECT_EQ(service_->QueryStatus(&record, kind), 0xFFFF) << kind;
    }
    EXPECT_EQ(RecordBytes(record), RecordBytes(want));
    EXPECT_EQ(service_->QueryStatus(nullptr, 3), 0xFFFF);
    EXPECT_EQ(modem_.Requests().size(), sent);
}

TEST_F(Service, QueryStatusNetworkKindAndUnansweredKinds) {
    struct Case {
        uint8_t callState, service, mode;
        uint8_t inTraffic, inService;
        uint16_t kind;
    };
    std::atomic<int> index{0};
    const Case cases[] = {{5, 4, 0, 1, 1, 10},
                          {0, 2, 10, 0, 1, 10},
                          {1, 2, 3, 0, 1, 9},
                          {0, 0, 0, 0, 0, 1},
                          {6, 1, 9, 0, 1, 1}};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != 0x4B) {
            return r[0] == 0x0C ? Silence() : std::vector<Bytes>{};
        }
        const Case& c = cases[index.load()];
        Bytes reply = Packet({0x4B, 0x0F}, 44);
        reply[4] = c.callState;
        reply[12] = c.service;
        reply[16] = c.mode;
        return {reply};
    });
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        index.store(static_cast<int>(i));
        ModemStatusRecord record = Patterned();
        ASSERT_EQ(service_->QueryStatus(&record, 4), 0);
        // Copies: the record is packed, its fields cannot be bound to references.
        EXPECT_EQ(uint8_t{record.InTraffic}, cases[i].inTraffic);
        EXPECT_EQ(uint8_t{record.InService}, cases[i].inService);
        EXPECT_EQ(uint16_t{record.NetworkKind}, cases[i].kind);
    }
    // No answer: the request's failure, the record untouched.
    ModemStatusRecord record = Patterned();
    EXPECT_EQ(service_->QueryStatus(&record, 3), 0xFFFF);
    EXPECT_EQ(RecordBytes(record), RecordBytes(Patterned()));
}

// A log packet of code 0x10 carrying one record.
Bytes LogPacket(uint16_t code, const Bytes& payload) {
    Bytes p(16, 0);
    p[0] = 0x10;
    wire::Put16(p, 2, static_cast<uint16_t>(12 + payload.size()));
    wire::Put16(p, 4, static_cast<uint16_t>(12 + payload.size()));
    wire::Put16(p, 6, code);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST_F(Service, RfGettersFollowTheLogStream) {
    Open(StatusModem);
    EXPECT_EQ(service_->GetRfUpdateCount(), 0);
    EXPECT_EQ(service_->GetDrcIndex(), 0);
    EXPECT_EQ(service_->GetRfLevel1(), -120);
    EXPECT_EQ(service_->GetRfLevel4(), -120);
    EXPECT_EQ(service_->GetRfChannel(), -1);
    Bytes a(14, 0), b(14, 0), c(82, 0);
    service_->GetRfBlockA(a.data());
    service_->GetRfBlockB(b.data());
    service_->GetRfBlockC(c.data());
    EXPECT_EQ(a, Bytes(14, 0xFF));
    EXPECT_EQ(b, Bytes(14, 0xFF));
    EXPECT_EQ(c, Bytes(82, 0xFF));

    Bytes levels(24, 0);
    levels[13] = 0x20;
    wire::Put16(levels, 16, 0xB500);  // -75
    wire::Put16(levels, 18, 0xF000);  // -16
    wire::Put16(levels, 20, 0xFF9C);  // 0
    wire::Put16(levels, 22, 0xC400);  // -60
    modem_.Send(LogPacket(0x1069, levels));
    Bytes drc(97, 0);
    drc[96] = 0xB0;
    modem_.Send(LogPacket(0x1068, drc));
    Bytes pilots(11 + 3 * 10, 0);
    pilots[1] = 1;  // one active
    pilots[6] = 1;  // one candidate
    pilots[8] = 1;  // one neighbour
    wire::Put16(pilots, 3, 0x0A11);
    wire::Put16(pilots, 11, 0x0101);
    wire::Put16(pilots, 13, 0x0202);
    wire::Put16(pilots, 21, 0x0303);
    wire::Put16(pilots, 31, 0x0505);
    modem_.Send(LogPacket(0x108B, pilots));
    ASSERT_TRUE(WaitUntil([&] { return service_->GetRfChannel() != -1; }));

    EXPECT_EQ(service_->GetRfUpdateCount(), 2);
    EXPECT_EQ(service_->GetDrcIndex(), 0x0B);
    EXPECT_EQ(service_->GetRfLevel1(), -75);
    EXPECT_EQ(service_->GetRfLevel2(), -16);
    EXPECT_EQ(service_->GetRfLevel3(), 0);
    EXPECT_EQ(service_->GetRfLevel4(), -60);
    EXPECT_EQ(service_->GetRfChannel(), 0x211);
    service_->GetRfBlockA(a.data());
    service_->GetRfBlockB(b.data());
    service_->GetRfBlockC(c.data());
    EXPECT_EQ(a, (Bytes{0x01, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{0x02, 0x02, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 4), (Bytes{0x05, 0x05, 0xFF, 0xFF}));

    // The status kind that reads the level: -(-60).
    ModemStatusRecord record = Patterned();
    ASSERT_EQ(service_->QueryStatus(&record, 3), 0);
    EXPECT_EQ(uint8_t{record.RssiEvdo}, 60);
}

TEST_F(Service, GetModemTimeWritesItsTwentyFiveBytes) {
    std::atomic<bool> silent{false};
    // 29 February 2000 12:34:56, plus just under one more second of device count.
    const uint64_t seconds = (946684800ull - 315964800ull) + 59 * 86400ull + 12 * 3600 + 34 * 60 + 56;
    const uint64_t stamp = seconds * 32768 * 1600 + 32768 * 1600 - 1;
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != 0x1D) {
            return {};
        }
        if (silent.load()) {
            return Silence();
        }
        Bytes reply = {0x1D};
        wire::LeAppender(reply).U64(stamp);
        return {reply};
    });
    std::unique_ptr<uint8_t[]> out(new uint8_t[kModemTimeSize]);
    std::memset(out.get(), 0xCC, kModemTimeSize);
    ASSERT_EQ(service_->GetModemTime(out.get()), 0);
    EXPECT_EQ(service_->GetLastResult(), 0);
    EXPECT_EQ(Sent(0x1D).at(0), Bytes{0x1D});
    Bytes want = {0xE0, 25, 2, 0, 0};
    for (char ch : std::string("00/02/29 12:34:56")) {
        want.push_back(static_cast<uint8_t>(ch));
    }
    want.insert(want.end(), {0, 0, 0});
    EXPECT_EQ(Bytes(out.get(), out.get() + kModemTimeSize), want);

    silent.store(true);
    EXPECT_EQ(service_->GetModemTime(out.get()), 0xFFFF);
    EXPECT_EQ(service_->GetLastResult(), 0xFFFF);
}

TEST_F(Service, FormatTimeStampTakesTheSecondsAsUnsigned) {
    std::unique_ptr<char[]> out(new char[kTimeStampTextSize]);
    service_->FormatTimeStamp(0, out.get());
    EXPECT_STREQ(out.get(), "80/01/06 00:00:00");
    service_->FormatTimeStamp(-1, out.get());
    EXPECT_STREQ(out.get(), "16/02/11 06:28:15");
    service_->FormatTimeStamp(INT32_MIN, out.get());
    EXPECT_STREQ(out.get(), "48/01/24 03:14:08");
    service_->FormatTimeStamp(5, nullptr);
}

TEST_F(Service, ResetAndBlocks) {
    std::atomic<bool> silent{false};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (silent.load() && r[0] != 0x00 && r[0] != 0x5D) {
            return Silence();
        }
        switch (r[0]) {
            case 0x29:
                return {Bytes{0x29, r[1], 0x00}};
            case 0x22: {
                Bytes reply = Counting(107, 0x00);
                reply[0] = 0x22;
                return {reply};
            }
            case 0x20:
                return {Bytes{0x20, r[1], r[2]}};
            default:
                return {};
        }
    });
    EXPECT_EQ(service_->ResetModem(), 0);
    EXPECT_EQ(Sent(0x29).at(0), (Bytes{0x29, 0x02, 0x00}));

    Bytes block(kBlock34Size, 0xEE);
    EXPECT_EQ(service_->QueryBlock34(block.data()), 0);
    EXPECT_EQ(service_->GetLastResult(), 0);
    Bytes want = Counting(107, 0x00);
    want[0] = 0x22;
    for (size_t at : {51, 101, 105}) {
        std::swap(want[at], want[at + 1]);
    }
    EXPECT_EQ(block, want);

    const uint8_t body[3] = {0x20, 0xAB, 0x7E};
    EXPECT_EQ(service_->SendBlock32(body), 0);
    EXPECT_EQ(Sent(0x20).at(0), (Bytes{0x20, 0x20, 0xAB, 0x7E}));

    silent.store(true);
    EXPECT_EQ(service_->ResetModem(), 0xFFFF);
    EXPECT_EQ(service_->QueryBlock34(block.data()), 9);
    EXPECT_EQ(service_->GetLastResult(), 9);
    EXPECT_EQ(service_->SendBlock32(body), 9);
    EXPECT_EQ(service_->GetLastResult(), 9);
}

TEST_F(Service, SetOfflineModePollsUntilTheModemIsOffline) {
    std::atomic<int> polls{0};
    std::atomic<int> offlineAt{3};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == 0x29) {
            return {Bytes{0x29, r[1], 0x00}};
        }
        if (r[0] == 0x0C) {
            Bytes status = Packet({0x0C}, 48);
            status[32] = ++polls == offlineAt.load() ? 2 : 0;
            return {status};
        }
        return {};
    });
    EXPECT_EQ(service_->SetOfflineMode(), 0);
    EXPECT_EQ(Sent(0x29).at(0), (Bytes{0x29, 0x01, 0x00}));
    EXPECT_EQ(Sent(0x0C).size(), 3u);

    // A modem that never reports offline: 62 polls 50 ms apart, then success all the same.
    modem_.ClearRequests();
    polls.store(0);
    offlineAt.store(-1);
    const uint64_t start = clock_.Elapsed();
    EXPECT_EQ(service_->SetOfflineMode(), 0);
    EXPECT_EQ(Sent(0x0C).size(), 62u);
    EXPECT_GE(clock_.Elapsed() - start, 62u * 50);
}

TEST_F(Service, SetOfflineModeGivesUpOnASilentModem) {
    std::atomic<bool> answerMode{true};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == 0x29 && answerMode.load()) {
            return {Bytes{0x29, r[1], 0x00}};
        }
        if (r[0] == 0x29 || r[0] == 0x0C) {
            return Silence();
        }
        return {};
    });
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(service_->SetOfflineMode(), 0xFFFF);
    const size_t statusRequests = Sent(0x0C).size();
    EXPECT_GE(statusRequests, 1u);
    EXPECT_LE(statusRequests, 10u) << "unanswered status requests must be bounded";
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 20s);

    modem_.ClearRequests();
    answerMode.store(false);
    EXPECT_EQ(service_->SetOfflineMode(), 0xFFFF);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x29}));
}

// --- User data upload
// ------------------------------------------------------------------------------------------

TEST_F(Service, UploadUserDataFileGreetsAndWritesNothing) {
    std::atomic<bool> silent{false};
    Open([&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != 0x4B) {
            return {};
        }
        if (silent.load()) {
            return Silence();
        }
        return {Packet({0x4B, 0x13, 0x00, 0x00}, 44)};
    });
    char tmpl[] = "/tmp/velmo-upload-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    ASSERT_NE(dir, nullptr);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    EXPECT_EQ(service_->UploadUserDataFile(), 0xFFFF);
    Bytes greeting = {0x4B, 0x13, 0x00, 0x00};
    for (int i = 0; i < 6; ++i) {
        greeting.insert(greeting.end(), {0x00, 0x00, 0x10, 0x00});
    }
    for (int i = 0; i < 3; ++i) {
        greeting.insert(greeting.end(), {0x01, 0x00, 0x00, 0x00});
    }
    greeting.resize(44, 0);
    EXPECT_EQ(Sent(0x4B).at(0), greeting);
    silent.store(true);
    EXPECT_EQ(service_->UploadUserDataFile(), 0xFFFF);

    EXPECT_FALSE(std::filesystem::exists(std::string(dir) + "/test.usr"));
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmo::service
