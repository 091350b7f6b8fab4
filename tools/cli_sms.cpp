// Short-message commands of velmo-cli: count, list, read, send, save-draft and delete in the modem's four
// boxes. Requests go out as the manager's pane sends them: 200 ms apart, and a request whose reply is not
// accepted is tried once more after 200 ms.
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <span>
#include <thread>

#include "CliCommon.h"
#include "sms/SmsRecord.h"

namespace velmo::cli {

namespace {

using sms::Box;
using sms::StoreOp;

constexpr auto kPause = std::chrono::milliseconds(200);
constexpr size_t kListLimit = 100;            // messages a list shows at most
constexpr size_t kStdinLimit = 64 * 1024;     // far more than a message holds
constexpr int32_t kDirectoryNumberCode = 11;  // the NAM parameter of the modem's own number
constexpr size_t kParameterValueAt = 5;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "velmo-cli: use sms count BOX | sms list BOX | sms read BOX POSITION | sms send NUMBER [--priority N] "
    "[--delivery-report] [--save] | sms save-draft NUMBER | sms delete BOX SLOT|all\n"
    "  BOX is inbox, saved, outbox or drafts; send and save-draft take the text from standard input\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// An error the client or the modem's answer decided: said in words (or as {"error": ...}).
int Refuse(const Options& opt, const std::string& text, int status) {
    if (opt.json) {
        std::printf("%s\n", Json().Str("error", text).Text().c_str());
    } else {
        std::fprintf(stderr, "velmo-cli: %s\n", text.c_str());
    }
    return status;
}

const char* PriorityName(uint8_t priority) {
    static const char* const kNames[] = {"Normal", "Interactive", "Urgent", "Emergency"};
    return priority < 4 ? kNames[priority] : "";
}

std::optional<uint8_t> ParsePriority(const std::string& text) {
    int value = -1;
    if (ParseInt(text.c_str(), value) && value >= 0 && value <= 3) {
        return static_cast<uint8_t>(value);
    }
    for (uint8_t p = 0; p < 4; ++p) {
        if (strcasecmp(text.c_str(), PriorityName(p)) == 0) {
            return p;
        }
    }
    return std::nullopt;
}

// A number as the record holds it, for showing: bytes outside printable ASCII become '?'.
std::string Printable(const std::string& number) {
    std::string out = number;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            c = '?';
        }
    }
    return out;
}

// The whole of standard input, without one trailing newline; nullopt when it cannot be read.
std::optional<std::string> ReadStdin() {
    if (isatty(STDIN_FILENO) != 0) {
        std::fprintf(stderr, "velmo-cli: type the message, then Ctrl-D\n");
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
        text.append(buffer, std::min(got, kStdinLimit - std::min(text.size(), kStdinLimit)));
        if (got < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(stdin) != 0) {
        return std::nullopt;
    }
    if (text.ends_with('\n')) {
        text.pop_back();
        if (text.ends_with('\r')) {
            text.pop_back();
        }
    }
    return text;
}

// One action's requests on an open port.
class Session {
  public:
    explicit Session(IOrvikModem& modem) : modem_(modem) {}

    // Sends a request-60 packet 200 ms after the previous request; a reply that accept does not take is
    // asked for once more. Returns what accept made of the last reply.
    template <typename Accept>
    auto Request(std::span<const uint8_t> packet, bool large, Accept accept) {
        for (int attempt = 0;; ++attempt) {
            Pause();
            std::vector<uint8_t> reply(large ? kRequest60LargeReplySize : kRequest60ReplySize);
            const auto count = static_cast<int32_t>(packet.size());
            lastResult_ = large ? modem_.SendRequest60Large(packet.data(), count, reply.data())
                                : modem_.SendRequest60(packet.data(), count, reply.data());
            auto accepted = accept(lastResult_, std::span<const uint8_t>(reply));
            if (accepted || attempt == 1) {
                return accepted;
            }
        }
    }

    std::optional<uint8_t> Count(Box b) {
        return Request(sms::CountRequest(b), false, [b](int32_t result, std::span<const uint8_t> r) {
            return sms::CountOf(result, b, r);
        });
    }
    std::optional<sms::Message> Read(Box b, uint8_t position) {
        return Request(sms::ReadRequest(b, position), true,
                       [b](int32_t result, std::span<const uint8_t> r) { return sms::ReadOf(result, b, r); });
    }
    std::optional<uint8_t> Store(StoreOp op, uint8_t boxCode, const sms::Message& m) {
        return Request(
            sms::StoreRequest(op, boxCode, m), false,
            [op](int32_t result, std::span<const uint8_t> r) { return sms::StoreStatusOf(result, op, r); });
    }
    bool Delete(Box b, uint8_t slot) {
        return Request(sms::DeleteRequest(b, slot), false,
                       [b, slot](int32_t result, std::span<const uint8_t> r) {
                           return sms::DeleteAccepted(result, b, slot, r);
                       });
    }

    // The modem's own directory number; empty when it cannot be read.
    std::string OwnNumber() {
        Pause();
        uint8_t reply[kNamParameterReplySize] = {};
        if (modem_.ReadNamParameter(kDirectoryNumberCode, reply) != kResultOk) {
            return {};
        }
        const auto* text = reinterpret_cast<const char*>(reply + kParameterValueAt);
        return std::string(text, strnlen(text, sizeof reply - kParameterValueAt));
    }

    // Reports a request that was not accepted: the library's result when the call failed, else the modem's
    // answer was refused.
    int Failed(const Options& opt, const std::string& what) const {
        if (lastResult_ != kResultOk) {
            return Fail(opt, (what + ": no valid answer from the modem").c_str(), lastResult_);
        }
        return Refuse(opt, what + ": the modem did not accept the request", kExitRefused);
    }

  private:
    void Pause() {
        if (used_) {
            std::this_thread::sleep_for(kPause);
        }
        used_ = true;
    }

    IOrvikModem& modem_;
    bool used_ = false;
    int32_t lastResult_ = kResultOk;
};

std::string TimeText(IOrvikModem& modem, uint32_t seconds) {
    if (seconds == 0) {
        return {};
    }
    char text[kTimeStampTextSize] = {};
    modem.FormatTimeStamp(static_cast<int32_t>(seconds), text);
    return std::string(text, strnlen(text, sizeof text));
}

void PrintMessage(IOrvikModem& modem, const Options& opt, Box b, size_t position, const sms::Message& m) {
    const std::string time = TimeText(modem, m.timeStamp);
    const char* status = m.readStatus == sms::kNotRead ? "Not Read" : "Read";
    const std::string text = sms::ToUtf8(m.text);
    if (opt.json) {
        Json j;
        j.Str("box", sms::Info(b).name)
            .Num("position", static_cast<long long>(position))
            .Num("slot", m.slot)
            .Str("priority", PriorityName(m.priority));
        if (b == Box::InBox) {
            j.Str("status", status);
        }
        j.Str("time", time)
            .Num("seconds", m.timeStamp)
            .Bool("deliveryReport", m.deliveryReport)
            .Str("number", Printable(m.number))
            .Str("ownNumber", Printable(m.ownNumber))
            .Str("text", text);
        std::printf("%s\n", j.Text().c_str());
        return;
    }
    std::string head = "#" + std::to_string(position) + " slot " + std::to_string(m.slot);
    for (const std::string& part : {std::string(PriorityName(m.priority)),
                                    b == Box::InBox ? std::string(status) : std::string(), time}) {
        if (!part.empty()) {
            head += ", " + part;
        }
    }
    std::printf("%s, %s: %s\n", head.c_str(), Printable(m.number).c_str(), text.c_str());
}

std::optional<Box> BoxArg(const std::string& name) {
    const std::optional<Box> b = sms::BoxNamed(name);
    if (!b) {
        std::fprintf(stderr, "velmo-cli: no box '%s' (inbox, saved, outbox, drafts)\n", name.c_str());
    }
    return b;
}

std::optional<uint8_t> ByteArg(const std::string& text, int max) {
    int value = -1;
    if (!ParseInt(text.c_str(), value) || value < 0 || value > max) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(value);
}

int CmdCount(IOrvikModem& modem, const Options& opt, Box b) {
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    const std::optional<uint8_t> count = session.Count(b);
    modem.ClosePort();
    if (!count) {
        return session.Failed(opt, std::string("counting ") + sms::Info(b).name);
    }
    if (opt.json) {
        std::printf("%s\n", Json().Str("box", sms::Info(b).name).Num("count", *count).Text().c_str());
    } else {
        std::printf("%s: %u\n", sms::Info(b).name, static_cast<unsigned>(*count));
    }
    return 0;
}

int CmdList(IOrvikModem& modem, const Options& opt, Box b) {
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    const std::optional<uint8_t> count = session.Count(b);
    if (!count) {
        modem.ClosePort();
        return session.Failed(opt, std::string("counting ") + sms::Info(b).name);
    }
    const size_t shown = std::min<size_t>(*count, kListLimit);
    int status = 0;
    for (size_t position = 0; position < shown && !g_interrupted; ++position) {
        const std::optional<sms::Message> m = session.Read(b, static_cast<uint8_t>(position));
        if (m) {
            PrintMessage(modem, opt, b, position, *m);
        } else {
            status = session.Failed(
                opt, "reading message " + std::to_string(position) + " of " + sms::Info(b).name);
        }
        std::fflush(stdout);
    }
    modem.ClosePort();
    if (*count > kListLimit) {
        const std::string note = std::string(sms::Info(b).name) + " holds " + std::to_string(*count) +
                                 " messages; the first " + std::to_string(kListLimit) + " are listed";
        if (opt.json) {
            std::printf("%s\n", Json()
                                    .Str("box", sms::Info(b).name)
                                    .Num("count", *count)
                                    .Num("listed", static_cast<long long>(kListLimit))
                                    .Str("notice", note)
                                    .Text()
                                    .c_str());
        } else {
            std::printf("(%s)\n", note.c_str());
        }
    } else if (*count == 0 && !opt.json) {
        std::printf("%s: no messages\n", sms::Info(b).name);
    }
    return status;
}

int CmdRead(IOrvikModem& modem, const Options& opt, Box b, uint8_t position) {
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    const std::optional<sms::Message> m = session.Read(b, position);
    if (m) {
        PrintMessage(modem, opt, b, position, *m);
    }
    modem.ClosePort();
    return m ? 0
             : session.Failed(opt,
                              "reading message " + std::to_string(position) + " of " + sms::Info(b).name);
}

struct Compose {
    std::string number;
    uint8_t priority = 0;
    bool deliveryReport = false;
    bool save = false;
};

// The message of send and save-draft, with the text from standard input; nullopt after saying why not.
std::optional<sms::Message> Composed(const Options& opt, const Compose& c, int* status) {
    if (const std::optional<std::string> refusal = sms::NumberRefusal(c.number)) {
        *status = Refuse(opt, "refused the number: " + *refusal, kExitUsage);
        return std::nullopt;
    }
    const std::optional<std::string> text = ReadStdin();
    if (!text) {
        *status = Refuse(opt, "the message text could not be read from standard input", kExitUsage);
        return std::nullopt;
    }
    if (text->empty()) {
        *status = Refuse(opt, "the message is empty (its text comes from standard input)", kExitUsage);
        return std::nullopt;
    }
    const std::u16string units = sms::FromUtf8(*text);
    sms::Message m;
    m.priority = c.priority;
    m.deliveryReport = c.deliveryReport;
    m.number = c.number;
    m.text = sms::Cut(units);
    if (m.text.size() < units.size() && !opt.json) {
        std::fprintf(stderr, "velmo-cli: the text was cut to %zu characters\n", sms::kMaxTextUnits);
    }
    return m;
}

int Done(const Options& opt, const std::string& done, const sms::Message& m, bool saved) {
    if (opt.json) {
        std::printf("%s\n",
                    Json().Str("done", done).Str("number", m.number).Bool("saved", saved).Text().c_str());
    } else {
        std::printf("%s\n", done.c_str());
    }
    return 0;
}

// Refuses a store into a box that is already at its capacity.
bool Full(Session& session, const Options& opt, Box b, int* status) {
    const std::optional<uint8_t> count = session.Count(b);
    if (!count) {
        *status = session.Failed(opt, std::string("counting ") + sms::Info(b).name);
        return true;
    }
    if (*count >= sms::Info(b).capacity) {
        *status = Refuse(opt,
                         std::string(sms::Info(b).name) + " is full (" +
                             std::to_string(sms::Info(b).capacity) + " messages): delete some first",
                         kExitRefused);
        return true;
    }
    return false;
}

int CmdSend(IOrvikModem& modem, const Options& opt, const Compose& c) {
    int status = 0;
    std::optional<sms::Message> m = Composed(opt, c, &status);
    if (!m) {
        return status;
    }
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    m->ownNumber = session.OwnNumber();
    if (c.save) {
        // The copy first: a send that then fails leaves it in the out-box, where it can be sent again.
        if (Full(session, opt, Box::OutBox, &status)) {
            modem.ClosePort();
            return status;
        }
        const std::optional<uint8_t> copied =
            session.Store(StoreOp::SentCopy, sms::Info(Box::OutBox).boxCode, *m);
        if (!copied || !sms::StoreSucceeded(StoreOp::SentCopy, *copied)) {
            modem.ClosePort();
            return copied ? Refuse(opt, "the modem did not store the copy in the out-box; nothing was sent",
                                   kExitRefused)
                          : session.Failed(opt, "storing the copy in the out-box (nothing was sent)");
        }
    }
    const std::optional<uint8_t> sent = session.Store(StoreOp::Send, sms::kSendBoxCode, *m);
    modem.ClosePort();
    if (!sent || !sms::StoreSucceeded(StoreOp::Send, *sent)) {
        const std::string copy = c.save ? "; its copy is in the out-box" : "";
        return sent ? Refuse(opt, "the modem could not send the message" + copy, kExitRefused)
                    : session.Failed(opt, "sending the message" + copy);
    }
    return Done(opt, c.save ? "sent to " + m->number + "; a copy is in the out-box" : "sent to " + m->number,
                *m, c.save);
}

int CmdSaveDraft(IOrvikModem& modem, const Options& opt, const Compose& c) {
    int status = 0;
    std::optional<sms::Message> m = Composed(opt, c, &status);
    if (!m) {
        return status;
    }
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    m->ownNumber = session.OwnNumber();
    if (Full(session, opt, Box::DraftBox, &status)) {
        modem.ClosePort();
        return status;
    }
    const std::optional<uint8_t> stored = session.Store(StoreOp::Draft, sms::Info(Box::DraftBox).boxCode, *m);
    modem.ClosePort();
    if (!stored) {
        return session.Failed(opt, "storing the draft");
    }
    if (!sms::StoreSucceeded(StoreOp::Draft, *stored)) {
        return Refuse(opt, "the modem did not store the draft", kExitRefused);
    }
    return Done(opt, "draft saved", *m, true);
}

int CmdDelete(IOrvikModem& modem, const Options& opt, Box b, uint8_t slot) {
    if (const int r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    Session session(modem);
    const bool deleted = session.Delete(b, slot);
    modem.ClosePort();
    const std::string what = slot == sms::kDeleteWholeBox
                                 ? std::string("every message of ") + sms::Info(b).name
                                 : "slot " + std::to_string(slot) + " of " + sms::Info(b).name;
    if (!deleted) {
        return session.Failed(opt, "deleting " + what + " (is there such a message?)");
    }
    if (opt.json) {
        Json j;
        j.Str("box", sms::Info(b).name);
        if (slot == sms::kDeleteWholeBox) {
            j.Str("slot", "all");
        } else {
            j.Num("slot", slot);
        }
        std::printf("%s\n", j.Str("done", "deleted").Text().c_str());
    } else {
        std::printf("deleted %s\n", what.c_str());
    }
    return 0;
}

int CmdSms(IOrvikModem& modem, const Options& opt) {
    // The compose options come through as words of the command: the global parser does not know them.
    Compose compose;
    std::vector<std::string> words;
    bool composeOptions = false;
    for (size_t i = 1; i < opt.args.size(); ++i) {
        const std::string& a = opt.args[i];
        if (a == "--priority") {
            if (i + 1 >= opt.args.size() || !ParsePriority(opt.args[i + 1])) {
                std::fprintf(stderr,
                             "velmo-cli: --priority takes 0-3 or Normal, Interactive, Urgent, Emergency\n");
                return kExitUsage;
            }
            compose.priority = *ParsePriority(opt.args[++i]);
            composeOptions = true;
        } else if (a == "--delivery-report") {
            compose.deliveryReport = true;
            composeOptions = true;
        } else if (a == "--save") {
            compose.save = true;
            composeOptions = true;
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "velmo-cli: unknown option '%s'\n", a.c_str());
            return Usage();
        } else {
            words.push_back(a);
        }
    }
    if (words.empty()) {
        return Usage();
    }
    const std::string& sub = words[0];
    if (composeOptions && sub != "send") {
        std::fprintf(stderr, "velmo-cli: --priority, --delivery-report and --save belong to sms send\n");
        return kExitUsage;
    }
    if ((sub == "send" || sub == "save-draft") && words.size() == 2) {
        compose.number = words[1];
        return sub == "send" ? CmdSend(modem, opt, compose) : CmdSaveDraft(modem, opt, compose);
    }
    const bool oneBox = (sub == "count" || sub == "list") && words.size() == 2;
    const bool boxAndNumber = (sub == "read" || sub == "delete") && words.size() == 3;
    if (!oneBox && !boxAndNumber) {
        return Usage();
    }
    const std::optional<Box> b = BoxArg(words[1]);
    if (!b) {
        return kExitUsage;
    }
    if (sub == "count") {
        return CmdCount(modem, opt, *b);
    }
    if (sub == "list") {
        return CmdList(modem, opt, *b);
    }
    if (sub == "read") {
        const std::optional<uint8_t> position = ByteArg(words[2], 255);
        if (!position) {
            std::fprintf(stderr, "velmo-cli: POSITION is a number from 0 to 255\n");
            return kExitUsage;
        }
        return CmdRead(modem, opt, *b, *position);
    }
    const std::optional<uint8_t> slot =
        words[2] == "all" ? std::optional<uint8_t>(sms::kDeleteWholeBox) : ByteArg(words[2], 254);
    if (!slot) {
        std::fprintf(stderr, "velmo-cli: SLOT is a number from 0 to 254, or all\n");
        return kExitUsage;
    }
    return CmdDelete(modem, opt, *b, *slot);
}

}  // namespace

std::vector<Command> SmsCommands() {
    return {
        {"sms",
         "sms count BOX | sms list BOX | sms read BOX POSITION   short messages (BOX: inbox, saved, outbox, "
         "drafts)\n"
         "  sms send NUMBER [--priority N] [--delivery-report] [--save]   send the text read from standard "
         "input\n"
         "  sms save-draft NUMBER   store the text read from standard input in drafts\n"
         "  sms delete BOX SLOT | sms delete BOX all",
         CmdSms},
    };
}

}  // namespace velmo::cli
