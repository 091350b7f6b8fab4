// velmo-cli's short-message commands against the stand-in: a delivered message listed in JSON, a send that
// keeps its copy in the out-box, deletes, and the refusals that leave the modem untouched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "CliRun.h"
#include "StandInFixture.h"
#include "library/protocol/CommandTable.h"
#include "simulator/ControlServer.h"
#include "sms/SmsRecord.h"

extern char** environ;

namespace velmo::sim::test {
namespace {

using Json = nlohmann::json;

std::vector<Json> JsonLines(const std::string& out) {
    std::vector<Json> lines;
    size_t from = 0;
    while (from < out.size()) {
        const size_t eol = out.find('\n', from);
        lines.push_back(Json::parse(out.substr(from, eol - from), nullptr, false));
        from = eol == std::string::npos ? out.size() : eol + 1;
    }
    return lines;
}

class CliSmsTest : public StandInTest {
  protected:
    CliRun Sms(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--port", std::to_string(sim_->Port()), "--json", "sms"});
        return RunCli(args, input);
    }
    std::vector<sms::Message> Box(sms::Box b) const {
        const std::vector<uint8_t> records = sim_->State().smsBoxes[static_cast<size_t>(b)];
        std::vector<sms::Message> out;
        for (size_t at = 0; at + sms::kRecordSize <= records.size(); at += sms::kRecordSize) {
            out.push_back(sms::Decode(std::span(records).subspan(at, sms::kRecordSize)));
        }
        return out;
    }
    // The message requests that reached the stand-in, up to their fifth byte.
    std::vector<Bytes> MessageRequests() const {
        std::vector<Bytes> out;
        for (const LoggedRequest& r : RequestsOf(protocol::Request60)) {
            if (r.packet.size() < 4 || r.packet[2] < sms::kStoreCommand || r.packet[2] > sms::kCountCommand) {
                continue;
            }
            out.push_back(Bytes(r.packet.begin(), r.packet.begin() + std::min<size_t>(r.packet.size(), 5)));
        }
        return out;
    }
};

TEST_F(CliSmsTest, ListsADeliveredMessageSendsWithACopyAndDeletes) {
    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    bool quit = false;
    ASSERT_EQ(control.Execute("sms deliver 5551234567 Dzień dobry", &quit), "ok slot 0\n");

    CliRun run = Sms({"list", "inbox"});
    ASSERT_EQ(run.status, 0) << run.out;
    std::vector<Json> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    const Json& m = lines[0];
    EXPECT_EQ(m["text"], "Dzień dobry") << m;
    EXPECT_EQ(m["number"], "5551234567");
    EXPECT_EQ(m["status"], "Not Read");
    EXPECT_EQ(m["priority"], "Normal");
    EXPECT_EQ(m["position"], 0);
    EXPECT_EQ(m["slot"], 0);
    EXPECT_TRUE(
        std::regex_match(m["time"].get<std::string>(), std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)")))
        << m;

    sim_->ClearRequests();
    run = Sms({"send", "5551234567", "--save", "--priority", "2"}, "Cześć, co słychać?\n");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(JsonLines(run.out).at(0)["saved"], true) << run.out;
    // The out-box counted, the copy stored, then the send.
    EXPECT_EQ(MessageRequests(),
              (std::vector<Bytes>{{0x3C, 1, 0x36, 5}, {0x3C, 1, 0x32, 2, 0}, {0x3C, 1, 0x32, 0, 8}}));
    const std::vector<sms::Message> outbox = Box(sms::Box::OutBox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].text, u"Cześć, co słychać?");
    EXPECT_EQ(outbox[0].number, "5551234567");
    EXPECT_EQ(outbox[0].ownNumber, "6195550100");
    EXPECT_EQ(outbox[0].priority, 2);
    run = Sms({"list", "outbox"});
    ASSERT_EQ(run.status, 0) << run.out;
    lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    EXPECT_EQ(lines[0]["text"], "Cześć, co słychać?");
    EXPECT_EQ(lines[0]["priority"], "Urgent");
    EXPECT_FALSE(lines[0].contains("status"));  // read or not is the in-box's

    EXPECT_EQ(Sms({"delete", "inbox", "0"}).status, 0);
    EXPECT_TRUE(Box(sms::Box::InBox).empty());
    run = Sms({"delete", "inbox", "0"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(JsonLines(run.out).at(0).contains("error")) << run.out;
    EXPECT_EQ(Sms({"delete", "outbox", "all"}).status, 0);
    EXPECT_TRUE(Box(sms::Box::OutBox).empty());
}

TEST_F(CliSmsTest, RefusalsSendNothingToTheModem) {
    sim_->ClearRequests();
    CliRun run = Sms({"send", std::string(33, '5')}, "too long a number\n");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(JsonLines(run.out).at(0)["error"].get<std::string>().find("33"), std::string::npos) << run.out;
    run = Sms({"save-draft", "555 1234"}, "x");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_TRUE(sim_->Requests().empty());  // the port was not even opened

    // A full draft box is refused after counting it, before any store.
    std::string hex;
    const auto record = sms::Encode(sms::Message{});
    for (int i = 0; i < sms::Info(sms::Box::DraftBox).capacity; ++i) {
        for (const uint8_t b : record) {
            hex += "0123456789ABCDEF"[b >> 4];
            hex += "0123456789ABCDEF"[b & 0x0F];
        }
    }
    std::string error;
    ASSERT_TRUE(sim_->SetField("sms_drafts", hex, &error)) << error;
    sim_->ClearRequests();
    run = Sms({"save-draft", "5551234567"}, "szkic");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("drafts is full"), std::string::npos) << run.out;
    EXPECT_EQ(MessageRequests(), (std::vector<Bytes>{{0x3C, 1, 0x36, 6}}));
}

}  // namespace
}  // namespace velmo::sim::test
