// velmo-cli's parameter backup: nam backup FILE and nam restore FILE.
#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "CliCommon.h"
#include "ParameterBackup.h"

namespace velmo::cli {

namespace {

constexpr size_t kReplyValueOffset = 5;

// The parameters through the library's interface; a read counts only with item status 0.
class ModemParameterAccess final : public programming::IParameterAccess {
  public:
    explicit ModemParameterAccess(IOrvikModem& modem) : modem_(modem) {}

    std::optional<std::vector<uint8_t>> Read(uint8_t code) override {
        uint8_t reply[kNamParameterReplySize] = {};
        if (modem_.ReadNamParameter(code, reply) != 0) {
            return std::nullopt;
        }
        return std::vector<uint8_t>(reply + kReplyValueOffset, reply + sizeof reply);
    }

    bool Write(uint8_t code, std::span<const uint8_t> value) override {
        NamParameterRecord record{};
        if (value.size() > sizeof record.Value) {
            return false;
        }
        record.Code = code;
        std::copy(value.begin(), value.end(), record.Value);
        return modem_.WriteNamParameter(&record) == kResultOk;
    }

  private:
    IOrvikModem& modem_;
};

std::string CodeList(const std::vector<uint8_t>& codes) {
    std::string out = "[";
    for (uint8_t code : codes) {
        out += (out.size() > 1 ? "," : "") + std::to_string(code);
    }
    return out + "]";
}

std::string Named(const std::vector<uint8_t>& codes) {
    std::string out;
    for (uint8_t code : codes) {
        const programming::StoredParameter* row = programming::FindStoredParameter(code);
        out += (out.empty() ? "" : ", ") + std::string(row != nullptr ? row->name : "?") + " (" +
               std::to_string(code) + ")";
    }
    return out;
}

// The shown lines of some of a backup's entries.
std::vector<std::string> LinesOf(const programming::Backup& backup, const std::vector<uint8_t>& codes) {
    programming::Backup part;
    std::copy_if(backup.entries.begin(), backup.entries.end(), std::back_inserter(part.entries),
                 [&](const programming::BackupEntry& e) {
                     return std::find(codes.begin(), codes.end(), e.code) != codes.end();
                 });
    return programming::RestoreLines(part);
}

}  // namespace

int CmdNamBackup(IOrvikModem& modem, const Options& opt) {
    const std::string& path = opt.args[2];
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    ModemParameterAccess access(modem);
    std::string error;
    const auto backup = programming::ReadBackup(access, &error);
    modem.ClosePort();
    if (!backup) {
        return Fail(opt, error.c_str(), kResultServiceParameterFailed);
    }
    if (!programming::SaveBackup(*backup, path, &error)) {
        return Fail(opt, error.c_str(), 1);
    }
    if (opt.json) {
        std::printf("%s\n", Json()
                                .Str("path", path)
                                .Str("esn", backup->esn)
                                .Num("count", static_cast<long long>(backup->entries.size()))
                                .Raw("unread", CodeList(backup->unread))
                                .Text()
                                .c_str());
        return 0;
    }
    std::printf("saved %zu parameters of the modem with ESN %s to %s\n", backup->entries.size(),
                backup->esn.c_str(), path.c_str());
    if (!backup->unread.empty()) {
        std::printf("not read: %s\n", Named(backup->unread).c_str());
    }
    return 0;
}

int CmdNamRestore(IOrvikModem& modem, const Options& opt) {
    std::string error;
    const auto backup = programming::LoadBackup(opt.args[2], &error);
    if (!backup) {
        return Fail(opt, error.c_str(), 1);
    }
    const std::vector<std::string> lines = programming::RestoreLines(*backup);
    if (!opt.json) {
        std::printf("writing %zu parameters saved %s from the modem with ESN %s:\n", lines.size(),
                    backup->savedUtc.c_str(), backup->esn.c_str());
        for (const std::string& line : lines) {
            std::printf("  %s\n", line.c_str());
        }
        std::fflush(stdout);
    }
    if (const int32_t r = OpenOrFail(modem, opt); r != kResultOk) {
        return ExitFromResult(r);
    }
    ModemParameterAccess access(modem);
    const programming::RestoreResult result = programming::RestoreBackup(access, *backup);
    modem.ClosePort();
    if (result.refused) {
        const std::string why = result.modemEsn.empty()
                                    ? "the modem's ESN cannot be read: nothing written"
                                    : "the backup is of the modem with ESN " + backup->esn +
                                          ", this modem's ESN is " + result.modemEsn + ": nothing written";
        return Fail(opt, why.c_str(), 1);
    }
    const size_t written = lines.size() - result.failed.size();
    if (opt.json) {
        std::printf("%s\n", Json()
                                .Str("esn", result.modemEsn)
                                .Num("written", static_cast<long long>(written))
                                .Raw("failed", CodeList(result.failed))
                                .Raw("differs", CodeList(result.differs))
                                .Bool("ok", result.Ok())
                                .Text()
                                .c_str());
    } else if (result.Ok()) {
        std::printf("restored %zu parameters, each reads back as saved\n", written);
    } else {
        if (!result.failed.empty()) {
            std::printf("not written: %s\n", Named(result.failed).c_str());
        }
        if (!result.differs.empty()) {
            programming::Backup modemSide;
            modemSide.entries = result.readBack;
            std::printf("read back with another value; saved:\n");
            for (const std::string& line : LinesOf(*backup, result.differs)) {
                std::printf("  %s\n", line.c_str());
            }
            std::printf("the modem reads:\n");
            for (const std::string& line : programming::RestoreLines(modemSide)) {
                std::printf("  %s\n", line.c_str());
            }
        }
    }
    if (result.Ok()) {
        return 0;
    }
    if (opt.spc.empty()) {
        std::fprintf(stderr,
                     "velmo-cli: the modem keeps its service parameters locked by its SPC: restore needs "
                     "--spc CODE\n");
    }
    return kResultServiceParameterFailed;
}

}  // namespace velmo::cli
