// The stand-in's control lines, applied to a device state without the socket, the pty or the state file.
// ControlServer::Execute is a member over a running stand-in, so its parsing is mirrored here and each
// command goes to the same pure function Execute calls: "fault" to ParseFault, "set" and "get" to the state
// fields, "report" to VendorReport, "sms deliver" to DeliverSms, "status" to every field's value. Commands
// that only act on the running stand-in are recognised and skipped. Input: text, one command a line.
// Checked: a parsed fault formats to text that parses to the same fault (the argument counts for a slow
// one only); a field that was set reads back a value that sets the same state again; a report has its code
// and header; a delivered message adds one record to the in-box and a report long enough for the slot
// Execute answers with; and the state file text of the final state reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/Answers.h"
#include "simulator/DeviceState.h"
#include "simulator/ModemSimulator.h"
#include "simulator/SmsBoxes.h"
#include "sms/SmsRecord.h"

using namespace velmo::sim;

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxLines = 64;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Words split at blanks and tabs, as the control channel splits them.
std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos == line.size()) {
            break;
        }
        const size_t end = line.find_first_of(" \t", pos);
        words.push_back(line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        pos = end == std::string_view::npos ? line.size() : end;
    }
    return words;
}

// "report CODE": decimal or 0x-hex, 0 to 255.
std::optional<uint8_t> ReportCode(std::string_view t) {
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    uint64_t code = 0;
    for (char c : t) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : 99;
        if (digit >= base) {
            return std::nullopt;
        }
        code = code * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (code > 0xFF) {
            return std::nullopt;
        }
    }
    return t.empty() ? std::nullopt : std::optional(static_cast<uint8_t>(code));
}

void Fault(const std::vector<std::string_view>& w) {
    std::string text(w[1]);
    if (w.size() >= 3 && w[2] != "any" && w[2] != "-") {
        text.append(":").append(w[2]);
    }
    if (w.size() == 4) {
        text.append("=").append(w[3]);
    }
    const std::optional<velmo::sim::Fault> fault = ParseFault(text);
    if (fault) {
        // Only a slow fault uses its argument, and only its text shows it.
        const std::optional<velmo::sim::Fault> again = ParseFault(FormatFault(*fault));
        Check(again && again->mode == fault->mode && again->code == fault->code);
        Check(fault->mode != FaultMode::Slow || again->arg == fault->arg);
    }
}

void Set(DeviceState& s, std::string_view line, const std::vector<std::string_view>& w) {
    std::string_view value = line.substr(static_cast<size_t>(w[1].data() - line.data()) + w[1].size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    DeviceState changed = s;
    std::string error;
    if (!SetStateField(changed, w[1], value, &error)) {
        Check(!error.empty());
        return;
    }
    s = std::move(changed);
    std::string shown;
    Check(GetStateField(s, w[1], &shown));
    DeviceState again = s;
    Check(SetStateField(again, w[1], shown, &error));
    Check(again == s);
}

void Report(const DeviceState& s, const std::vector<std::string_view>& w) {
    const std::optional<uint8_t> code = ReportCode(w[1]);
    if (!code) {
        return;
    }
    const std::vector<std::string> fields(w.begin() + 2, w.end());
    std::vector<uint8_t> packet;
    std::string error;
    if (VendorReport(*code, fields, s, &packet, &error)) {
        Check(packet.size() >= 3 && packet[0] == velmo::protocol::VendorPacket && packet[1] == *code);
    } else {
        Check(!error.empty());
    }
}

void Deliver(DeviceState& s, std::string_view line, const std::vector<std::string_view>& w) {
    const std::string number(w[2]);
    const std::string text(line.substr(static_cast<size_t>(w[3].data() - line.data())));
    DeviceState changed = s;
    std::vector<uint8_t> report;
    std::string error;
    if (!DeliverSms(changed, number, text, &report, &error)) {
        Check(!error.empty());
        return;
    }
    Check(report.size() > 3 && report[1] == 17);
    Check(changed.smsBoxes[0].size() == s.smsBoxes[0].size() + velmo::sms::kRecordSize);
    s = std::move(changed);
}

void Status(const DeviceState& s) {
    std::string value;
    for (const std::string& name : StateFieldNames()) {
        Check(GetStateField(s, name, &value));
    }
    for (const auto& [item, data] : s.nv) {
        Check(GetStateField(s, "nv." + std::to_string(item), &value));
    }
}

void Execute(DeviceState& s, std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    const std::vector<std::string_view> w = Split(line);
    if (w.empty()) {
        return;
    }
    const std::string_view cmd = w[0];
    if (cmd == "status" && w.size() == 1) {
        Status(s);
    } else if (cmd == "fault" && w.size() >= 2 && w.size() <= 4) {
        Fault(w);
    } else if (cmd == "set" && w.size() >= 3) {
        Set(s, line, w);
    } else if (cmd == "get" && w.size() == 2) {
        std::string value;
        (void)GetStateField(s, w[1], &value);
    } else if (cmd == "report" && w.size() >= 2) {
        Report(s, w);
    } else if (cmd == "sms" && w.size() >= 4 && w[1] == "deliver") {
        Deliver(s, line, w);
    }
    // clear, log, requests, clear-requests, scenario, scenarios, vanish, appear and quit act on the running
    // stand-in (its fault, its log, its files and its pty) and not on the state.
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    DeviceState s;
    for (size_t n = 0; n < kMaxLines && !input.empty(); ++n) {
        const size_t eol = input.find('\n');
        const std::string_view line = input.substr(0, eol);
        input = eol == std::string_view::npos ? std::string_view{} : input.substr(eol + 1);
        // The channel refuses longer lines.
        if (line.size() <= kMaxLine) {
            Execute(s, line);
        }
    }

    // What the stand-in would save reads back to the same file.
    const std::string saved = FormatState(s);
    DeviceState loaded;
    std::string warnings;
    ParseState(saved, loaded, &warnings);
    Check(warnings.empty());
    Check(FormatState(loaded) == saved);
    return 0;
}
