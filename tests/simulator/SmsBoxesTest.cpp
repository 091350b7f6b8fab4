// The stand-in's short-message boxes through the real library over the pty: count, read, store and delete
// with the reply layouts the manager and velmo-cli read, the box capacities, a plain send, a failing read,
// a delivered message with its report and the boxes across a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>

#include "SessionFixture.h"
#include "simulator/ControlServer.h"
#include "sms/SmsRecord.h"

namespace velmo::sim::test {
namespace {

using sms::Box;
using sms::StoreOp;

constexpr uint8_t kAccepted = 1;

// Seconds of the modem's clock (since 6 January 1980) for the host's time now.
int64_t ModemSecondsNow() {
    constexpr int64_t kGpsEpoch = 315964800;
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
               .count() -
           kGpsEpoch;
}

sms::Message Composed(const std::string& number, const std::u16string& text) {
    sms::Message m;
    m.priority = static_cast<uint8_t>(sms::Priority::Urgent);
    m.deliveryReport = true;
    m.number = number;
    m.ownNumber = "6195550100";
    m.text = text;
    return m;
}

class SmsBoxesTest : public SessionTest {
  protected:
    // Replies of failed calls read as 0xEE throughout, so that indexing them is safe and matches nothing.
    Bytes Reply60(std::span<const uint8_t> packet) {
        Bytes r = Send60(Bytes(packet.begin(), packet.end()));
        return r.empty() ? Bytes(sms::kReplySize, 0xEE) : r;
    }
    Bytes Count(Box b) { return Reply60(sms::CountRequest(b)); }
    int CountOf(Box b) {
        const std::optional<uint8_t> n = sms::CountOf(0, b, Count(b));
        return n ? *n : -1;
    }
    // The whole 1086-byte reply.
    Bytes Read(Box b, uint8_t position) {
        const auto p = sms::ReadRequest(b, position);
        Bytes out(sms::kReadReplySize);
        if (modem_->SendRequest60Large(p.data(), static_cast<int32_t>(p.size()), out.data()) != kResultOk) {
            std::fill(out.begin(), out.end(), 0xEE);
        }
        return out;
    }
    std::optional<sms::Message> ReadMessage(Box b, uint8_t position) {
        return sms::ReadOf(0, b, Read(b, position));
    }
    Bytes Store(StoreOp op, uint8_t boxCode, const sms::Message& m) {
        return Reply60(sms::StoreRequest(op, boxCode, m));
    }
    // The store status of an accepted store; -1 when it was not accepted.
    int StoreStatus(StoreOp op, uint8_t boxCode, const sms::Message& m) {
        const std::optional<uint8_t> status = sms::StoreStatusOf(0, op, Store(op, boxCode, m));
        return status ? *status : -1;
    }
    Bytes Delete(Box b, uint8_t slot) { return Reply60(sms::DeleteRequest(b, slot)); }
    // One line of the control channel, answered by the stand-in running now.
    std::string Control(const std::string& line) {
        ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
        bool quit = false;
        return control.Execute(line, &quit);
    }
};

TEST_F(SmsBoxesTest, CountReadStoreRewriteAndDeleteWithTheirReplyLayouts) {
    Open();
    Bytes r = Count(Box::DraftBox);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 5), (Bytes{0x3C, 1, 0x36, 6, 0}));

    const sms::Message draft = Composed("5551234567", u"Dzień dobry");
    r = Store(StoreOp::Draft, 4, draft);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 7), (Bytes{0x3C, 1, 0x32, 1, 4, 0, kAccepted}));
    EXPECT_EQ(LastRequest(protocol::Request60).size(), sms::kStoreRequestSize);
    EXPECT_EQ(Store(StoreOp::SavedCopy, 3, Composed("+48601*#", u"x"))[6], kAccepted);
    r = Count(Box::DraftBox);
    EXPECT_EQ(Bytes(r.begin() + 3, r.begin() + 5), (Bytes{6, 1}));
    EXPECT_EQ(CountOf(Box::SavedBox), 1);
    EXPECT_EQ(CountOf(Box::InBox), 0);

    r = Read(Box::DraftBox, 0);
    EXPECT_EQ(sim_->Answers().back().size(), sms::kReadReplySize);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), (Bytes{0x3C, 1, 0x33, 4, 0, 1}));
    sms::Message filed = sms::Decode(std::span(r).subspan(sms::kReadRecordAt, sms::kRecordSize));
    // The stand-in stamps a message stored without a time with the modem's clock.
    EXPECT_NEAR(static_cast<double>(filed.timeStamp), static_cast<double>(ModemSecondsNow()), 5.0);
    sms::Message expected = draft;
    expected.slot = 0;
    expected.timeStamp = filed.timeStamp;
    EXPECT_EQ(filed, expected);
    // Past the last message, in an unknown box: the read is not carried out.
    EXPECT_EQ(Read(Box::DraftBox, 1)[5], 0);
    EXPECT_FALSE(ReadMessage(Box::DraftBox, 1));
    const Bytes unknownBox = {0x3C, 1, 0x33, 9, 0};
    Bytes large(sms::kReadReplySize);
    ASSERT_EQ(modem_->SendRequest60Large(unknownBox.data(), 5, large.data()), kResultOk);
    EXPECT_EQ(large[5], 0);

    // A rewrite in place keeps the slot; one for a slot the box does not have is not carried out.
    filed.readStatus = sms::kRead;
    filed.text = u"poprawione";
    EXPECT_EQ(StoreStatus(StoreOp::Rewrite, 4, filed), 0);
    EXPECT_EQ(ReadMessage(Box::DraftBox, 0), filed);
    sms::Message stray = filed;
    stray.slot = 7;
    EXPECT_EQ(StoreStatus(StoreOp::Rewrite, 4, stray), -1);

    r = Delete(Box::DraftBox, 0);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 5), (Bytes{0x3C, 1, 0x34, 4, 0}));
    EXPECT_EQ(CountOf(Box::DraftBox), 0);
    r = Delete(Box::DraftBox, 0);
    EXPECT_EQ(r[3], 0xFF);  // nothing there
    EXPECT_FALSE(sms::DeleteAccepted(0, Box::DraftBox, 0, r));
    EXPECT_EQ(CountOf(Box::SavedBox), 1);
}

TEST_F(SmsBoxesTest, FullBoxesRefuseTheNextStoreAndAPlainSendStoresNothing) {
    Open();
    struct Case {
        StoreOp op;
        Box box;
        int refused;
    };
    for (const Case c : {Case{StoreOp::Draft, Box::DraftBox, sms::kDraftRefused},
                         Case{StoreOp::SavedCopy, Box::SavedBox, sms::kDraftRefused},
                         Case{StoreOp::SentCopy, Box::OutBox, sms::kSendRefused}}) {
        const sms::BoxInfo& info = sms::Info(c.box);
        for (int i = 0; i < info.capacity; ++i) {
            ASSERT_EQ(StoreStatus(c.op, info.boxCode, Composed("555" + std::to_string(i), u"t")), 0)
                << info.name << " " << i;
        }
        EXPECT_EQ(StoreStatus(c.op, info.boxCode, Composed("5550000", u"one too many")), c.refused)
            << info.name;
        EXPECT_EQ(CountOf(c.box), info.capacity) << info.name;
        // Each message of a box has a slot of its own.
        std::set<uint8_t> slots;
        for (int i = 0; i < info.capacity; ++i) {
            const std::optional<sms::Message> m = ReadMessage(c.box, static_cast<uint8_t>(i));
            ASSERT_TRUE(m) << info.name << " " << i;
            slots.insert(m->slot);
        }
        EXPECT_EQ(slots.size(), static_cast<size_t>(info.capacity)) << info.name;
    }
    // Op and box must go together: a draft into the out-box is not carried out.
    EXPECT_EQ(StoreStatus(StoreOp::Draft, 0, Composed("5551234567", u"t")), -1);

    // A send only sends: every box stays as it was, even a full one does not refuse it.
    const DeviceState before = sim_->State();
    EXPECT_EQ(StoreStatus(StoreOp::Send, sms::kSendBoxCode, Composed("5551234567", u"wysłane")), 0);
    EXPECT_EQ(StoreStatus(StoreOp::Send, sms::kSendBoxCode, Composed("55a5", u"t")), sms::kSendRefused);
    EXPECT_EQ(StoreStatus(StoreOp::Send, 0, Composed("5551234567", u"t")), -1);
    EXPECT_EQ(sim_->State().smsBoxes, before.smsBoxes);
}

TEST_F(SmsBoxesTest, DeletesOneSlotOrTheWholeBoxAndReusesTheFreedSlot) {
    Open();
    for (const char* number : {"5550", "5551", "5552"}) {
        ASSERT_EQ(StoreStatus(StoreOp::Draft, 4, Composed(number, u"t")), 0);
    }
    ASSERT_EQ(StoreStatus(StoreOp::SavedCopy, 3, Composed("5553", u"t")), 0);
    EXPECT_TRUE(sms::DeleteAccepted(0, Box::DraftBox, 1, Delete(Box::DraftBox, 1)));
    ASSERT_EQ(CountOf(Box::DraftBox), 2);
    EXPECT_EQ(ReadMessage(Box::DraftBox, 0).value().number, "5550");
    EXPECT_EQ(ReadMessage(Box::DraftBox, 1).value().slot, 2);
    EXPECT_EQ(ReadMessage(Box::DraftBox, 1).value().number, "5552");
    ASSERT_EQ(StoreStatus(StoreOp::Draft, 4, Composed("5554", u"t")), 0);
    EXPECT_EQ(ReadMessage(Box::DraftBox, 2).value().slot, 1);

    const Bytes r = Delete(Box::DraftBox, sms::kDeleteWholeBox);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 5), (Bytes{0x3C, 1, 0x34, 4, 0xFF}));
    EXPECT_EQ(CountOf(Box::DraftBox), 0);
    EXPECT_EQ(CountOf(Box::SavedBox), 1);
}

TEST_F(SmsBoxesTest, DeliveredMessageIsFiledNotReadAndAnnouncedByReport17) {
    struct Target : IModemNotifyTarget {
        void post(uint32_t message, uintptr_t code, intptr_t report) override {
            if (message != kModemReportMessage || code != 17) {
                return;
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(report);
            std::lock_guard lk(mutex);
            reports.emplace_back(bytes, bytes + ReportSize(17));
        }
        std::mutex mutex;
        std::vector<Bytes> reports;
    } target;
    ASSERT_EQ(modem_->SetNotifyWindow(&target), kResultOk);
    Open();
    EXPECT_EQ(Control("sms deliver 5551234567 Dzień dobry,  świecie"), "ok slot 0\n");
    // 200 two-byte letters: the record keeps them all, the report's 255-byte body only whole letters.
    std::string letters;
    for (int i = 0; i < 200; ++i) {
        letters += "ś";
    }
    EXPECT_EQ(Control("sms deliver +48601 " + letters), "ok slot 1\n");
    EXPECT_EQ(Control("sms deliver 555-1234 x").rfind("error sms deliver: ", 0), 0u);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard lk(target.mutex);
        return target.reports.size() >= 2;
    }));
    modem_->SetNotifyWindow(nullptr);

    const std::optional<sms::Message> first = ReadMessage(Box::InBox, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->readStatus, sms::kNotRead);
    EXPECT_EQ(first->number, "5551234567");
    EXPECT_EQ(first->ownNumber, "6195550100");  // the modem's own directory number
    EXPECT_EQ(first->text, u"Dzień dobry,  świecie");
    EXPECT_NEAR(static_cast<double>(first->timeStamp), static_cast<double>(ModemSecondsNow()), 5.0);
    const std::optional<sms::Message> second = ReadMessage(Box::InBox, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text.size(), 200u);
    EXPECT_EQ(CountOf(Box::InBox), 2);

    std::lock_guard lk(target.mutex);
    ASSERT_EQ(target.reports.size(), 2u);
    const Bytes& report = target.reports[0];
    EXPECT_EQ(report[2], 0x83);
    EXPECT_EQ(wire::Get32(report, 3), first->slot);
    ASSERT_EQ(report[12], 10);
    EXPECT_EQ(std::string(report.begin() + 13, report.begin() + 23), "5551234567");
    // The report's time is the record's, as the library formats a modem time stamp.
    char when[kTimeStampTextSize] = {};
    modem_->FormatTimeStamp(static_cast<int32_t>(first->timeStamp), when);
    EXPECT_EQ(std::string(report.begin() + 80, report.begin() + 97), std::string(when));
    const std::string body = "Dzień dobry,  świecie";
    ASSERT_EQ(report[97], body.size());
    EXPECT_EQ(
        std::string(report.begin() + 98, report.begin() + 98 + static_cast<std::ptrdiff_t>(body.size())),
        body);
    EXPECT_EQ(target.reports[1][97], 254);
    EXPECT_EQ(std::string(target.reports[1].begin() + 98, target.reports[1].begin() + 98 + 254),
              letters.substr(0, 254));
}

TEST_F(SmsBoxesTest, TheInBoxTakesAHundredMessages) {
    sms::Message m = Composed("5551234567", u"t");
    const auto record = sms::Encode(m);
    std::string hex;
    for (int i = 0; i < 99; ++i) {
        for (uint8_t b : record) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            hex += kDigits[b >> 4];
            hex += kDigits[b & 0x0F];
        }
    }
    Set("sms_inbox", hex);
    EXPECT_EQ(Control("sms deliver 5551234567 the hundredth").rfind("ok slot ", 0), 0u);
    EXPECT_EQ(Control("sms deliver 5551234567 one more").rfind("error sms deliver: ", 0), 0u);
    EXPECT_EQ(sim_->State().smsBoxes[0].size(), 100 * sms::kRecordSize);
}

TEST_F(SmsBoxesTest, ReadFailureAtOnePositionAndTheBoxesAcrossARestart) {
    Open();
    for (const char* text : {"a", "b", "c"}) {
        ASSERT_EQ(Control(std::string("sms deliver 5551234567 ") + text).rfind("ok ", 0), 0u);
    }
    ASSERT_EQ(StoreStatus(StoreOp::Draft, 4, Composed("5559876543", u"szkic")), 0);
    ASSERT_EQ(StoreStatus(StoreOp::Draft, 4, Composed("5559876543", u"drugi")), 0);
    EXPECT_EQ(Control("set sms_read_fail 1"), "ok\n");
    EXPECT_EQ(ReadMessage(Box::InBox, 0).value().text, u"a");
    const Bytes failed = Read(Box::InBox, 1);
    EXPECT_EQ(Bytes(failed.begin(), failed.begin() + 6), (Bytes{0x3C, 1, 0x33, 1, 1, 0}));
    EXPECT_FALSE(ReadMessage(Box::InBox, 1));
    EXPECT_EQ(ReadMessage(Box::InBox, 2).value().text, u"c");
    EXPECT_FALSE(ReadMessage(Box::DraftBox, 1));  // in any box
    EXPECT_TRUE(ReadMessage(Box::DraftBox, 0));
    EXPECT_EQ(Control("set sms_read_fail -1"), "ok\n");
    EXPECT_EQ(ReadMessage(Box::InBox, 1).value().text, u"b");
    EXPECT_EQ(Control("set sms_read_fail 1"), "ok\n");

    const DeviceState before = sim_->State();
    RestartStandIn();
    Open();
    EXPECT_EQ(sim_->State().smsBoxes, before.smsBoxes);
    EXPECT_EQ(CountOf(Box::InBox), 3);
    EXPECT_EQ(ReadMessage(Box::InBox, 1).value().text, u"b");  // the failure was the session's
    EXPECT_EQ(ReadMessage(Box::DraftBox, 0).value().text, u"szkic");
}

}  // namespace
}  // namespace velmo::sim::test
