// Service-parameter, credential, report and discovery commands of velmo-cli.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <thread>

#include "CliCommon.h"
#include "wire/LeCursor.h"

namespace velmo::cli {

namespace {

constexpr size_t kPrlFileLimit = 110000;

std::string HexText(const uint8_t* data, size_t n) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out;
}

// How a parameter's value is typed and shown.
enum class ValueKind { Text, Pair, Number32, Byte, None, Raw };

ValueKind KindOf(int code) {
    switch (code) {
        case 1:
        case 3:
        case 5:
        case 7:
        case 11:
        case 25:
        case 26:
        case 28:
        case 29:
            return ValueKind::Text;
        case 12:
        case 13:
        case 19:
        case 20:
        case 30:
        case 31:
            return ValueKind::Pair;
        case 0:
        case 27:
            return ValueKind::Number32;
        case 14:
        case 15:
        case 16:
        case 22:
        case 24:
        case 34:
        case 35:
        case 36:
            return ValueKind::Byte;
        case 32:
        case 33:
            return ValueKind::None;
        default:
            return ValueKind::Raw;
    }
}

int CmdNv(IOrvikModem& modem, const Options& opt) {
    int item = 0;
    const bool read = opt.args.size() == 3 && opt.args[1] == "read";
    const bool write = opt.args.size() == 4 && opt.args[1] == "write";
    std::vector<uint8_t> bytes;
    if ((!read && !write) || !ParseInt(opt.args[2].c_str(), item) || item < 0 || item > 0xFFFF ||
        (write && (!ParseHex(opt.args[3], bytes) || bytes.size() > kNvItemSize))) {
        std::fprintf(stderr, "velmo-cli: use nv read ITEM, or nv write ITEM HEX (at most 128 bytes)\n");
        return 2;
    }
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    uint8_t data[kNvItemSize] = {};
    std::memcpy(data, bytes.data(), bytes.size());
    const int32_t result = read ? modem.ReadNvItem(item, data) : modem.WriteNvItem(item, data);
    modem.ClosePort();
    if (result == kResultFailed) {
        return Fail(opt, read ? "no answer to the item read" : "the item was not written", result);
    }
    if (opt.json) {
        Json j;
        j.Num("item", item).Num("status", result);
        if (read) {
            j.Str("data", HexText(data, sizeof data));
        }
        std::printf("%s\n", j.Text().c_str());
    } else if (read) {
        std::printf("item %d, status %d%s\n", item, result, result == 0 ? " (done)" : "");
        HexDump(data, sizeof data);
    } else {
        std::printf("item %d written\n", item);
    }
    return read && result != 0 ? 1 : 0;
}

std::string DescribeValue(int code, wire::ConstBytes value) {
    char buf[64];
    switch (KindOf(code)) {
        case ValueKind::Text:
            return wire::LeReader(value).Text(value.size());
        case ValueKind::Pair:
            std::snprintf(buf, sizeof buf, "%u,%u", wire::Get16(value, 0), wire::Get16(value, 2));
            return buf;
        case ValueKind::Number32:
            std::snprintf(buf, sizeof buf, code == 0 ? "%08X" : "%u", wire::Get32(value, 0));
            return buf;
        case ValueKind::Byte:
            return std::to_string(wire::Get8(value, 0));
        default:
            return HexText(value.data(), std::min<size_t>(value.size(), 16));
    }
}

bool FillValue(int code, const std::string& text, NamParameterRecord& record) {
    switch (KindOf(code)) {
        case ValueKind::Text:
            if (text.size() > sizeof record.Value) {
                return false;
            }
            std::memcpy(record.Value, text.data(), text.size());
            return true;
        case ValueKind::Pair: {
            const auto comma = text.find(',');
            int a = 0, b = 0;
            if (comma == std::string::npos || !ParseInt(text.substr(0, comma).c_str(), a) ||
                !ParseInt(text.substr(comma + 1).c_str(), b) || a < 0 || a > 0xFFFF || b < 0 || b > 0xFFFF) {
                return false;
            }
            wire::LeWriter(record.Value).U16(static_cast<uint16_t>(a)).U16(static_cast<uint16_t>(b));
            return true;
        }
        case ValueKind::Number32: {
            int v = 0;
            if (!ParseInt(text.c_str(), v) || v < 0) {
                return false;
            }
            wire::Put32(record.Value, 0, static_cast<uint32_t>(v));
            return true;
        }
        case ValueKind::Byte: {
            int v = 0;
            if (!ParseInt(text.c_str(), v) || v < 0 || v > 255) {
                return false;
            }
            record.Value[0] = static_cast<uint8_t>(v);
            return true;
        }
        case ValueKind::None:
            return text.empty();
        case ValueKind::Raw: {
            std::vector<uint8_t> bytes;
            if (!ParseHex(text, bytes) || bytes.size() > sizeof record.Value) {
                return false;
            }
            std::memcpy(record.Value, bytes.data(), bytes.size());
            return true;
        }
    }
    return false;
}

int CmdNam(IOrvikModem& modem, const Options& opt) {
    if (opt.args.size() == 3 && opt.args[1] == "backup") {
        return CmdNamBackup(modem, opt);
    }
    if (opt.args.size() == 3 && opt.args[1] == "restore") {
        return CmdNamRestore(modem, opt);
    }
    int code = 0;
    const bool read = opt.args.size() == 3 && opt.args[1] == "read";
    const bool write = (opt.args.size() == 3 || opt.args.size() == 4) && opt.args[1] == "write";
    if ((!read && !write) || !ParseInt(opt.args[2].c_str(), code) || code < 0 || code > 255) {
        std::fprintf(
            stderr,
            "velmo-cli: use nam read CODE, nam write CODE VALUE (pairs as SID,NID), nam backup FILE or "
            "nam restore FILE\n");
        return 2;
    }
    NamParameterRecord record{};
    record.Code = static_cast<uint8_t>(code);
    if (write && !FillValue(code, opt.args.size() == 4 ? opt.args[3] : std::string(), record)) {
        std::fprintf(stderr, "velmo-cli: '%s' is not a value for parameter %d\n",
                     opt.args.size() == 4 ? opt.args[3].c_str() : "", code);
        return 2;
    }
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    uint8_t reply[kNamParameterReplySize] = {};
    const int32_t result = read ? modem.ReadNamParameter(code, reply) : modem.WriteNamParameter(&record);
    modem.ClosePort();
    if (read) {
        if (result == kResultFailed) {
            return Fail(opt, "no answer to the parameter read", result);
        }
        const std::string value = DescribeValue(code, wire::ConstBytes(reply).subspan(5));
        if (opt.json) {
            std::printf("%s\n",
                        Json().Num("code", code).Num("status", result).Str("value", value).Text().c_str());
        } else {
            std::printf("%s\n", result == 0 ? value.c_str()
                                            : ("(item status " + std::to_string(result) + ")").c_str());
        }
        return result == 0 ? 0 : 1;
    }
    if (result != kResultOk) {
        return Fail(opt, "the modem did not accept the value (locked by the SPC, malformed, or no answer)",
                    result);
    }
    if (opt.json) {
        std::printf("%s\n", Json().Num("code", code).Str("done", "written").Text().c_str());
    } else {
        std::printf("parameter %d written\n", code);
    }
    return 0;
}

int CmdSpc(IOrvikModem& modem, const Options& opt) {
    const bool verify = opt.args.size() == 3 && opt.args[1] == "verify";
    const bool change = opt.args.size() == 4 && opt.args[1] == "change";
    if ((!verify && !change) || opt.args[2].size() != 6 || (change && opt.args[3].size() != 6)) {
        std::fprintf(stderr, "velmo-cli: use spc verify CODE or spc change CURRENT NEW (six digits each)\n");
        return 2;
    }
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    // A change is made in the session that the current code unlocked.
    int32_t result = modem.VerifySpc(opt.args[2].c_str());
    if (change && result == kResultOk) {
        result = modem.ChangeSpc(opt.args[3].c_str());
    }
    modem.ClosePort();
    if (result != kResultOk) {
        return Fail(opt, verify ? "SPC not accepted" : "SPC not changed (verify the current code first)",
                    result);
    }
    const char* done = verify ? "SPC accepted" : "SPC changed";
    if (opt.json) {
        std::printf("%s\n", Json().Str("done", done).Text().c_str());
    } else {
        std::printf("%s\n", done);
    }
    return 0;
}

// The download's progress as the library posts it; only counts are kept, so post() returns at once.
class PrlProgress final : public IModemNotifyTarget {
  public:
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message == kPrlProgressMessage) {
            acknowledged.store(wParam);
            total.store(static_cast<unsigned long>(lParam));
        }
    }
    std::atomic<unsigned long> acknowledged{0};
    std::atomic<unsigned long> total{0};
};

int CmdPrl(IOrvikModem& modem, const Options& opt) {
    if (opt.args.size() != 3 || opt.args[1] != "download") {
        std::fprintf(stderr, "velmo-cli: use prl download FILE\n");
        return 2;
    }
    auto refuse = [&](const char* text) {
        Fail(opt, text, kResultFailed);
        return 1;
    };
    const std::string& path = opt.args[2];
    if (path.empty()) {
        return refuse("No PRL File Name!");
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return refuse("Could not open PRL file!");
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<size_t>(size) >= kPrlFileLimit) {
        return refuse("PRL File Too Large!");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return refuse("PRL File Read Error!");
    }
    if (bytes.size() < 2 || static_cast<size_t>(bytes[0] * 256 + bytes[1]) != bytes.size()) {
        return refuse("PRL File Invalid!");
    }
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    // The library posts the blocks acknowledged so far on the downloading thread; this thread shows them.
    PrlProgress progress;
    modem.SetNotifyWindow(&progress);
    const auto start = std::chrono::steady_clock::now();
    auto download = std::async(std::launch::async, [&] {
        return modem.DownloadPrl(bytes.data(), static_cast<int32_t>(bytes.size()));
    });
    const bool tty = isatty(STDERR_FILENO) != 0;
    const auto tick = std::chrono::milliseconds(tty ? 100 : 500);
    int ticks = 0;
    while (download.wait_for(tick) != std::future_status::ready) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const unsigned long total = progress.total.load();
        if (tty && total != 0) {
            std::fprintf(stderr, "\rblock %lu of %lu  %.1f s    ", progress.acknowledged.load(), total,
                         seconds);
        } else if (tty) {
            std::fprintf(stderr, "\rdownloading %zu bytes %c %.1f s", bytes.size(), "|/-\\"[ticks++ % 4],
                         seconds);
        } else if (++ticks % 10 == 0) {
            std::fprintf(stderr, "downloading %zu bytes: %.0f s\n", bytes.size(), seconds);
        }
    }
    const int32_t result = download.get();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (tty) {
        std::fprintf(stderr, "\r%60s\r", "");
    }
    modem.SetNotifyWindow(nullptr);
    modem.ClosePort();
    if (result != kResultOk) {
        return Fail(opt, "PRL Download  failed!", result);
    }
    if (opt.json) {
        std::printf("%s\n", Json()
                                .Num("bytes", static_cast<long long>(bytes.size()))
                                .Num("blocks", static_cast<long long>(progress.acknowledged.load()))
                                .Num("milliseconds",
                                     std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count())
                                .Raw("seconds", std::to_string(seconds))
                                .Str("done", "PRL Download completed! Please power off!")
                                .Text()
                                .c_str());
    } else {
        std::printf("PRL Download completed! Please power off! (%zu bytes in %.1f s)\n", bytes.size(),
                    seconds);
    }
    return 0;
}

int CmdPassword(IOrvikModem& modem, const Options& opt) {
    if (opt.args.size() == 3 && opt.args[1] == "store") {
        if (modem.StorePassword(opt.args[2].c_str()) != 1) {
            return Fail(opt, "the password could not be stored", 1);
        }
        std::printf(opt.json ? "{\"done\":\"stored\"}\n" : "password stored\n");
        return 0;
    }
    if (opt.args.size() == 2 && opt.args[1] == "load") {
        char out[kPasswordSize] = {};
        if (modem.LoadPassword(out) != 1) {
            return Fail(opt, "no stored password", 1);
        }
        // A 32-byte password comes back without a terminator.
        const std::string text(out, strnlen(out, sizeof out));
        std::printf("%s\n", opt.json ? Json().Str("password", text).Text().c_str() : text.c_str());
        return 0;
    }
    std::fprintf(stderr, "velmo-cli: use password store TEXT or password load\n");
    return 2;
}

// Copies each report as it is posted and hands it to the printing thread.
class ReportQueue final : public IModemNotifyTarget {
  public:
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message != kModemReportMessage || lParam == 0) {
            return;
        }
        const auto* report = reinterpret_cast<const uint8_t*>(lParam);
        const size_t size = ReportSize(static_cast<uint8_t>(wParam));  // post() only sends table codes
        std::lock_guard lk(mutex_);
        reports_.emplace_back(report, report + size);
        cv_.notify_one();
    }
    bool Next(std::vector<uint8_t>& out, std::chrono::milliseconds wait) {
        std::unique_lock lk(mutex_);
        if (!cv_.wait_for(lk, wait, [this] { return !reports_.empty(); })) {
            return false;
        }
        out = std::move(reports_.front());
        reports_.pop_front();
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::vector<uint8_t>> reports_;
};

std::string DescribeReport(const std::vector<uint8_t>& r) {
    char buf[160];
    const uint8_t code = r[1];
    auto text = [&](size_t lengthAt, size_t from, size_t max) {
        const size_t n = std::min<size_t>(r[lengthAt], max);
        return std::string(reinterpret_cast<const char*>(&r[from]), n);
    };
    switch (code) {
        case 4:
        case 5:
        case 6:
        case 36:
        case 37: {
            static const char* const kNames[] = {"CONNECTED", "RELEASED", "CALLING"};
            const char* name = code <= 6 ? kNames[code - 4] : code == 36 ? "DCONNECTED" : "DRELEASED";
            std::snprintf(buf, sizeof buf, "%s value %u", name, wire::Get16(r, 3));
            return buf;
        }
        case 7:
            return "CPN " + text(7, 8, 32);
        case 9:
            return "DISPLAY " + text(5, 6, 255);
        case 17:
            std::snprintf(buf, sizeof buf, "MESSAGE %u from ", wire::Get32(r, 3));
            return buf + text(12, 13, 32) + ": " + text(97, 98, 255);
        case 28:
            std::snprintf(buf, sizeof buf, "EVENT %u value %u", r[3], wire::Get16(r, 4));
            return buf;
        case 40:
            std::snprintf(buf, sizeof buf, "SIGNAL %u %u %u", r[3], r[4], r[5]);
            return buf;
        default:
            std::snprintf(buf, sizeof buf, "report %u (%zu bytes)", code, r.size());
            return buf;
    }
}

int CmdWatchReports(IOrvikModem& modem, const Options& opt) {
    ReportQueue queue;
    modem.SetNotifyWindow(&queue);
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        modem.SetNotifyWindow(nullptr);
        return ExitFromResult(r);
    }
    int shown = 0;
    std::vector<uint8_t> report;
    while (!g_interrupted && (opt.count == 0 || shown < opt.count)) {
        if (!queue.Next(report, std::chrono::milliseconds(200))) {
            continue;
        }
        ++shown;
        if (opt.json) {
            std::printf("%s\n", Json()
                                    .Num("code", report[1])
                                    .Str("text", DescribeReport(report))
                                    .Str("bytes", HexText(report.data(), report.size()))
                                    .Text()
                                    .c_str());
        } else {
            std::printf("%s\n", DescribeReport(report).c_str());
        }
        std::fflush(stdout);
    }
    modem.ClosePort();
    modem.SetNotifyWindow(nullptr);
    return 0;
}

int CmdDiscover(IOrvikModem& modem, const Options& opt) {
    Options network = opt;
    network.network = true;
    if (const int32_t r = OpenOrFail(modem, network); r != kResultOk) {
        return ExitFromResult(r);
    }
    char address[kDiscoveredAddressSize] = {};
    modem.GetDiscoveredAddress(address);
    modem.ClosePort();
    const std::string text(address, strnlen(address, sizeof address));
    std::printf("%s\n", opt.json ? Json().Str("address", text).Text().c_str() : text.c_str());
    return 0;
}

}  // namespace

int OpenOrFail(IOrvikModem& modem, const Options& opt) {
    int32_t result = OpenModem(modem, opt);
    // The modem keeps its service parameters unlocked only for the session in which the code was given.
    if (result == kResultOk && !opt.spc.empty() && modem.VerifySpc(opt.spc.c_str()) != kResultOk) {
        std::fprintf(stderr, "velmo-cli: the modem did not accept the SPC given with --spc\n");
        result = kResultServiceParameterFailed;
    }
    if (result != kResultOk) {
        modem.ClosePort();
    }
    return result;
}

std::vector<Command> ParameterCommands() {
    return {
        {"nv", "nv read ITEM | nv write ITEM HEX   read or write an NV item (item 0 reads item 82)", CmdNv},
        {"nam",
         "nam read CODE | nam write CODE VALUE   a NAM/service parameter (pairs as SID,NID)\n"
         "  nam backup FILE | nam restore FILE   save every stored parameter to FILE, or write them back "
         "(--spc CODE)",
         CmdNam},
        {"spc", "spc verify CODE | spc change CURRENT NEW   the service programming code", CmdSpc},
        {"prl", "prl download FILE    load a roaming list into the modem", CmdPrl},
        {"password", "password store TEXT | password load   the library's stored dial password", CmdPassword},
        {"watch-reports",
         "watch-reports        print the modem's unsolicited reports as they arrive (--count N)",
         CmdWatchReports},
        {"discover", "discover             find the Ethernet unit and show its address", CmdDiscover},
    };
}

}  // namespace velmo::cli
