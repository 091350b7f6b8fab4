// The message pane's flows against a modem with four boxes, in virtual time: what is asked of the modem and
// when, what the list holds afterwards, and what the user is told.
#include <gtest/gtest.h>

#include "Recorders.h"
#include "SmsStub.h"
#include "manager/core/SmsFlow.h"

namespace velmo::manager::test {
namespace {

using namespace smspane;
using sms::Box;
using Strings = std::vector<std::string>;

PromptRecord Said(const char* text, PromptIcon icon) {
    return Msg(text, "VelmoManager", icon);
}

std::vector<std::string> Titles(bool inBox) {
    std::vector<std::string> t;
    for (const Column& c : Columns(inBox)) {
        t.emplace_back(c.title);
    }
    return t;
}

class SmsFlowTest : public ::testing::Test {
  protected:
    SmsPaneState Show(Box box, const SmsPaneState& from = {}) { return flow.OnShowBox(from, box); }
    void Fill(Box box, int n) {
        for (int i = 0; i < n; ++i) {
            rig.stub.boxes[static_cast<size_t>(box)].push_back(Received(static_cast<uint8_t>(i), u"x"));
        }
    }

    SmsRig rig;
    RecordingPrompt prompt;
    ModemSession session = rig.Session();
    CSmsFlow flow{session, prompt};
};

TEST_F(SmsFlowTest, ABoxIsCountedAndReadOneMessageAt200MsIntervals) {
    // An empty box: one count, an empty list, nothing said.
    SmsPaneState s = Show(Box::SavedBox);
    EXPECT_EQ(rig.stub.Log(), Strings{"at 0 count 7"});
    EXPECT_TRUE(s.rows.empty());
    EXPECT_TRUE(prompt.Records().empty());
    EXPECT_EQ(s.box, Box::SavedBox);
    EXPECT_FALSE(BoxButtonEnabled(s, Box::SavedBox));
    EXPECT_TRUE(BoxButtonEnabled(s, Box::InBox));

    auto& in = rig.stub.boxes[0];
    in = {Received(7, u"Zażółć gęślą jaźń 😀"), Received(9, u"b", 2, 4), Received(3, u"c", sms::kRead, 3)};
    rig.stub.ClearLog();
    const uint64_t start = rig.clock.Elapsed();
    std::vector<std::pair<int, int>> progress;
    s = flow.OnShowBox(s, Box::InBox, [&](int k, int n) { progress.emplace_back(k, n); });
    const uint64_t spent = rig.clock.Elapsed() - start;
    EXPECT_EQ(rig.stub.Requests(), (Strings{"count 4", "read 1 0", "read 1 1", "read 1 2"}));
    EXPECT_EQ(spent, 3u * kSmsRequestGapMs);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.rows[0].slot, 7);
    EXPECT_EQ(s.rows[0].type, QStringLiteral("Normal"));
    EXPECT_EQ(s.rows[0].status, QStringLiteral("Not Read"));
    EXPECT_EQ(s.rows[0].text, QStringLiteral("Zażółć gęślą jaźń 😀"));
    EXPECT_EQ(s.rows[0].time, QStringLiteral("t1007"));
    EXPECT_EQ(s.rows[0].number, QStringLiteral("5550007"));
    // Read status 2 and priority 4 have no text.
    EXPECT_TRUE(s.rows[1].type.isEmpty());
    EXPECT_TRUE(s.rows[1].status.isEmpty());
    EXPECT_EQ(s.rows[2].type, QStringLiteral("Emergency"));
    EXPECT_EQ(s.rows[2].status, QStringLiteral("Read"));

    // The Status column leaves with the in-box and comes back at position 2.
    EXPECT_TRUE(s.statusColumn);
    EXPECT_EQ(Titles(s.statusColumn), (Strings{"Idx", "Type", "Status", "Time", "OriginNumber", "Msg"}));
    s = Show(Box::OutBox, s);
    EXPECT_FALSE(s.statusColumn);
    EXPECT_EQ(s.previous, Box::InBox);
    EXPECT_EQ(Titles(s.statusColumn), (Strings{"Idx", "Type", "Time", "OriginNumber", "Msg"}));
    s = Show(Box::InBox, s);
    EXPECT_TRUE(s.statusColumn);
    EXPECT_EQ(s.rows.size(), 3u);
}

TEST_F(SmsFlowTest, AFailedReadKeepsTheRowsBeforeItAndAStopEndsAfterTheCurrentRead) {
    Fill(Box::InBox, 5);
    rig.stub.failReadAt = 3;
    SmsPaneState s = Show(Box::InBox);
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(prompt.Records(), std::vector<PromptRecord>{Said("SMS Read Error!", PromptIcon::Stop)});
    // The failed read was tried once more, 200 ms later.
    const Strings log = rig.stub.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "at 800 read 1 3");
    EXPECT_EQ(log.back(), "at 1000 read 1 3");

    // A count that fails twice says the same and reads nothing.
    prompt.Clear();
    rig.stub.ClearLog();
    rig.stub.failCounts = 2;
    s = Show(Box::InBox);
    EXPECT_EQ(rig.stub.Requests(), (Strings{"count 4", "count 4"}));
    EXPECT_EQ(prompt.Records(), std::vector<PromptRecord>{Said("SMS Read Error!", PromptIcon::Stop)});

    // Stop: the reads end after the one under way.
    rig.stub.failReadAt = -1;
    rig.stub.ClearLog();
    std::atomic<bool> stop{false};
    s = flow.OnShowBox(
        {}, Box::InBox, [&](int k, int) { stop.store(k == 2); }, &stop);
    EXPECT_EQ(s.rows.size(), 2u);
    EXPECT_EQ(rig.stub.Requests(), (Strings{"count 4", "read 1 0", "read 1 1"}));

    // More than the slot table holds: the first 100 and a word about it.
    prompt.Clear();
    rig.stub.boxes[2].assign(101, Received(1, u"y"));
    s = Show(Box::OutBox);
    EXPECT_EQ(s.rows.size(), 100u);
    EXPECT_EQ(s.count, 101);
    ASSERT_EQ(prompt.Records().size(), 1u);
    EXPECT_EQ(prompt.Records()[0].text, TruncatedText(101));
}

TEST_F(SmsFlowTest, AnUnreadMessageIsMarkedReadAfterItsViewerCloses) {
    rig.stub.boxes[0] = {Received(4, u"a", sms::kRead), Received(6, u"b")};
    SmsPaneState s = Show(Box::InBox);
    rig.stub.ClearLog();
    // A message already read: nothing is sent.
    s = flow.OnViewerClosed(s, 0);
    EXPECT_TRUE(rig.stub.Log().empty());

    s = flow.OnViewerClosed(s, 1);
    EXPECT_EQ(rig.stub.Requests(), (Strings{"read 1 1", "store 4 1", "count 4", "read 1 0", "read 1 1"}));
    ASSERT_EQ(rig.stub.stored.size(), 1u);
    const sms::Message& rewritten = rig.stub.stored[0];
    EXPECT_EQ(rewritten.slot, 6);
    EXPECT_EQ(rewritten.readStatus, sms::kRead);
    EXPECT_EQ(rewritten.ownNumber, "5550001111");
    EXPECT_EQ(rewritten.text, u"b");
    EXPECT_EQ(rewritten.number, "5550006");
    EXPECT_EQ(s.rows[1].status, QStringLiteral("Read"));
    EXPECT_TRUE(prompt.Records().empty());
    // Outside the in-box the viewer says "None".
    EXPECT_EQ(ViewerStatus(s, s.rows[1]), QStringLiteral("Read"));
    SmsPaneState out = s;
    out.box = Box::OutBox;
    EXPECT_EQ(ViewerStatus(out, s.rows[1]), QStringLiteral("None"));
}

TEST_F(SmsFlowTest, CapacitiesAreCheckedBeforeStoring) {
    ComposeFields f;
    f.destination = QStringLiteral("5551234567");
    f.ownNumber = QStringLiteral("5550001111");
    f.text = QStringLiteral("hej");
    Fill(Box::DraftBox, 9);
    EXPECT_TRUE(flow.OnSave(f));
    EXPECT_EQ(rig.stub.Requests(), (Strings{"count 6", "store 1 4"}));
    EXPECT_FALSE(flow.OnSave(f));  // now 10
    EXPECT_EQ(rig.stub.Requests().size(), 3u);
    EXPECT_EQ(prompt.Records(), (std::vector<PromptRecord>{Said("SMS Msg Saved", PromptIcon::None),
                                                           Said("Draft-Box Full!", PromptIcon::Stop)}));

    prompt.Clear();
    Fill(Box::OutBox, 30);
    EXPECT_FALSE(flow.OnSendSave(f));
    Fill(Box::SavedBox, 20);
    flow.OnCopyToSaved(0);
    EXPECT_EQ(prompt.Records(), (std::vector<PromptRecord>{Said("Out-Box Full!", PromptIcon::Stop),
                                                           Said("Saved-Box Full!", PromptIcon::Stop)}));
    EXPECT_EQ(rig.stub.stored.size(), 1u);
}

TEST_F(SmsFlowTest, ComposedMessagesGoOutAsGivenAndSendSaveStoresTheCopyFirst) {
    ComposeFields f;
    f.destination = QStringLiteral("+48*555#1");
    f.ownNumber = QStringLiteral("5550001111");
    f.priority = 2;
    f.deliveryReport = true;
    f.text = QStringLiteral("Dzień dobry 😀");

    rig.stub.storeStatuses = {0xFF};  // a send answered 0xFF has gone out
    EXPECT_TRUE(flow.OnSend(f));
    ASSERT_EQ(rig.stub.stored.size(), 1u);
    const sms::Message& m = rig.stub.stored[0];
    EXPECT_EQ(m.number, "+48*555#1");
    EXPECT_EQ(m.ownNumber, "5550001111");
    EXPECT_EQ(m.priority, 2);
    EXPECT_TRUE(m.deliveryReport);
    EXPECT_EQ(m.text, u"Dzień dobry 😀");
    EXPECT_EQ(m.readStatus, 0);
    EXPECT_EQ(m.slot, 0);

    rig.stub.ClearLog();
    const uint64_t start = rig.clock.Elapsed();
    EXPECT_TRUE(flow.OnSendSave(f));
    EXPECT_EQ(rig.stub.Log(), (Strings{"at " + std::to_string(start) + " count 5",
                                       "at " + std::to_string(start + 200) + " store 2 0",
                                       "at " + std::to_string(start + 400) + " store 0 8"}));
    // The send refused after the copy: the user hears that the copy is in the out-box.
    rig.stub.storeStatuses = {0, sms::kSendRefused};
    EXPECT_FALSE(flow.OnSendSave(f));
    // A send refused outright.
    rig.stub.storeStatuses = {sms::kSendRefused};
    EXPECT_FALSE(flow.OnSend(f));
    // A draft answered 4 is stored.
    rig.stub.storeStatuses = {sms::kSendRefused};
    EXPECT_TRUE(flow.OnSave(f));
    const std::vector<PromptRecord> said = prompt.Records();
    ASSERT_EQ(said.size(), 5u);
    EXPECT_EQ(said[0], Said("SMS Msg sent", PromptIcon::None));
    EXPECT_EQ(said[1], Said("SMS Sent and Saved", PromptIcon::None));
    EXPECT_EQ(said[2].text, QStringLiteral("SMS Send&Save Error!\n") + CopyKeptText());
    EXPECT_EQ(said[3], Said("SMS Send Error!", PromptIcon::Stop));
    EXPECT_EQ(said[4], Said("SMS Msg Saved", PromptIcon::None));
}

TEST_F(SmsFlowTest, NumbersAreCheckedBeforeAnythingIsSent) {
    ComposeFields f;
    f.ownNumber = QStringLiteral("5550001111");
    EXPECT_FALSE(flow.OnSend(f));
    f.destination = QStringLiteral("555");
    f.ownNumber.clear();
    EXPECT_FALSE(flow.OnSendSave(f));
    f.ownNumber = QStringLiteral("5550001111");
    f.destination = QString(33, QLatin1Char('1'));
    EXPECT_FALSE(flow.OnSave(f));
    f.destination = QStringLiteral("555a");
    EXPECT_FALSE(flow.OnSend(f));
    EXPECT_TRUE(rig.stub.Log().empty());
    const std::vector<PromptRecord> said = prompt.Records();
    ASSERT_EQ(said.size(), 4u);
    EXPECT_EQ(said[0], Said("Enter Origin Number!", PromptIcon::Exclamation));
    EXPECT_EQ(said[1], Said("Enter Phone Number!", PromptIcon::Exclamation));
    EXPECT_EQ(said[2].icon, PromptIcon::Exclamation);
    EXPECT_EQ(said[3].text, said[2].text);
}

TEST_F(SmsFlowTest, ForwardAndReplyStartFromTheRow) {
    rig.stub.boxes[0] = {Received(1, u"Zażółć 😀", sms::kRead, 3), Received(2, u"x", sms::kRead, 7),
                         Received(3, u"y", sms::kRead, 1)};
    const SmsPaneState s = Show(Box::InBox);
    auto forward = flow.OnOpenCompose(s, CSmsFlow::Compose::Forward, 0);
    ASSERT_TRUE(forward);
    EXPECT_EQ(forward->priority, 3);
    EXPECT_EQ(forward->counter, 9);  // code units: the face takes two
    EXPECT_EQ(forward->ownNumber, QStringLiteral("5550001111"));
    EXPECT_EQ(flow.OnOpenCompose(s, CSmsFlow::Compose::Forward, 1)->priority, 3);  // no type text
    EXPECT_EQ(flow.OnOpenCompose(s, CSmsFlow::Compose::Forward, 2)->priority, 1);
    const auto reply = flow.OnOpenCompose(s, CSmsFlow::Compose::Reply, 2);
    EXPECT_EQ(reply->destination, QStringLiteral("5550003"));
    EXPECT_TRUE(reply->text.isEmpty());
    EXPECT_FALSE(flow.OnOpenCompose(SmsPaneState{}, CSmsFlow::Compose::Reply, 0));
    EXPECT_TRUE(flow.OnOpenCompose(SmsPaneState{}, CSmsFlow::Compose::New, -1));
}

TEST_F(SmsFlowTest, DeletingOneOrAllMessages) {
    rig.stub.boxes[3] = {Received(11, u"a"), Received(12, u"b")};
    SmsPaneState s = Show(Box::DraftBox);
    rig.stub.ClearLog();
    s = flow.OnDelete(s, 1);
    EXPECT_EQ(rig.stub.Requests(), (Strings{"delete 4 12", "count 6", "read 4 0"}));
    EXPECT_EQ(s.rows.size(), 1u);

    prompt.answers = {PromptAnswer::No};
    rig.stub.ClearLog();
    s = flow.OnDeleteAll(s);
    EXPECT_TRUE(rig.stub.Log().empty());
    EXPECT_EQ(s.rows.size(), 1u);
    prompt.answers = {PromptAnswer::Yes};
    s = flow.OnDeleteAll(s);
    EXPECT_EQ(rig.stub.Requests(), Strings{"delete 4 255"});
    EXPECT_TRUE(s.rows.empty());
    EXPECT_TRUE(rig.stub.boxes[3].empty());

    rig.stub.failDeletes = 2;
    flow.OnDelete(SmsPaneState{Box::DraftBox, Box::DraftBox, true, false, false, {SmsRow{}}, 1}, 0);
    const std::vector<PromptRecord> said = prompt.Records();
    ASSERT_EQ(said.size(), 5u);
    EXPECT_EQ(said[0], Said("Msg Deleted", PromptIcon::None));
    EXPECT_EQ(said[1], Msg("Do you want to delete all messages?", "VelmoManager", PromptIcon::Question,
                           PromptButtons::YesNo));
    EXPECT_EQ(said[3], Said("All Messages Deleted", PromptIcon::None));
    EXPECT_EQ(said[4], Said("Msg Delete Error!", PromptIcon::Stop));
}

}  // namespace
}  // namespace velmo::manager::test
