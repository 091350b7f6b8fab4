#include "DeviceState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace velmo::sim {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseInteger(std::string_view text, int64_t min, uint64_t max, int64_t* out) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    if (negative) {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
            -static_cast<int64_t>(magnitude) < min) {
            return false;
        }
        *out = -static_cast<int64_t>(magnitude);
        return true;
    }
    if (magnitude > max || magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return false;
    }
    *out = static_cast<int64_t>(magnitude);
    return true;
}

template <auto Member>
using FieldType = std::remove_cvref_t<decltype(std::declval<DeviceState&>().*Member)>;

template <auto Member>
std::string GetNumber(const DeviceState& s) {
    return std::to_string(s.*Member);
}

template <auto Member, int Digits>
std::string GetHex(const DeviceState& s) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", Digits, static_cast<unsigned long long>(s.*Member));
    return text;
}

template <auto Member>
bool SetNumber(DeviceState& s, std::string_view v, std::string* error) {
    using T = FieldType<Member>;
    int64_t x = 0;
    if (!ParseInteger(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &x)) {
        *error = "not a number in range: " + std::string(v);
        return false;
    }
    s.*Member = static_cast<T>(x);
    return true;
}

template <auto Member>
std::string GetText(const DeviceState& s) {
    return s.*Member;
}

// Texts go into fixed reply fields: bounded length, printable ASCII only.
template <auto Member, size_t MaxLength>
bool SetText(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v.size() > MaxLength) {
        *error = "text longer than " + std::to_string(MaxLength) + " characters";
        return false;
    }
    for (char c : v) {
        if (c < 0x20 || c > 0x7E) {
            *error = "text must be printable ASCII";
            return false;
        }
    }
    s.*Member = std::string(v);
    return true;
}

bool SetOperatingMode(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v != "online" && v != "offline") {
        *error = "operating_mode is online or offline";
        return false;
    }
    s.operatingMode = std::string(v);
    return true;
}

struct FieldDef {
    const char* name;
    std::string (*get)(const DeviceState&);
    bool (*set)(DeviceState&, std::string_view, std::string*);
};

using S = DeviceState;
constexpr FieldDef kFields[] = {
    {"esn", GetHex<&S::esn, 8>, SetNumber<&S::esn>},
    {"rf_mode", GetNumber<&S::rfMode>, SetNumber<&S::rfMode>},
    {"rx_state", GetNumber<&S::rxState>, SetNumber<&S::rxState>},
    {"channel", GetNumber<&S::channel>, SetNumber<&S::channel>},
    {"pilot_pn", GetNumber<&S::pilotPn>, SetNumber<&S::pilotPn>},
    {"sid", GetNumber<&S::sid>, SetNumber<&S::sid>},
    {"nid", GetNumber<&S::nid>, SetNumber<&S::nid>},
    {"rssi_1x", GetNumber<&S::rssi1x>, SetNumber<&S::rssi1x>},
    {"compile_date", GetText<&S::compileDate>, SetText<&S::compileDate, 11>},
    {"compile_time", GetText<&S::compileTime>, SetText<&S::compileTime, 8>},
    {"release_date", GetText<&S::releaseDate>, SetText<&S::releaseDate, 11>},
    {"release_time", GetText<&S::releaseTime>, SetText<&S::releaseTime, 8>},
    {"version_dir", GetText<&S::versionDir>, SetText<&S::versionDir, 8>},
    {"station_class_mark", GetHex<&S::stationClassMark, 2>, SetNumber<&S::stationClassMark>},
    {"cai_revision", GetNumber<&S::caiRevision>, SetNumber<&S::caiRevision>},
    {"model", GetHex<&S::model, 2>, SetNumber<&S::model>},
    {"firmware_revision", GetHex<&S::firmwareRevision, 4>, SetNumber<&S::firmwareRevision>},
    {"slot_cycle_index", GetNumber<&S::slotCycleIndex>, SetNumber<&S::slotCycleIndex>},
    {"software_revision", GetText<&S::softwareRevision>, SetText<&S::softwareRevision, 49>},
    {"time_offset_ms", GetNumber<&S::timeOffsetMs>, SetNumber<&S::timeOffsetMs>},
    {"operating_mode", GetText<&S::operatingMode>, SetOperatingMode},
};

const FieldDef* FindField(std::string_view name) {
    for (const FieldDef& f : kFields) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

// mkdir -p with mode 0700 for the folders it creates.
bool MakeParents(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string dir = path.substr(0, pos);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::vector<std::string> StateFieldNames() {
    std::vector<std::string> names;
    for (const FieldDef& f : kFields) {
        names.emplace_back(f.name);
    }
    return names;
}

bool GetStateField(const DeviceState& state, std::string_view name, std::string* value) {
    const FieldDef* f = FindField(name);
    if (f == nullptr) {
        return false;
    }
    *value = f->get(state);
    return true;
}

bool SetStateField(DeviceState& state, std::string_view name, std::string_view value, std::string* error) {
    const FieldDef* f = FindField(name);
    if (f == nullptr) {
        *error = "unknown field " + std::string(name);
        return false;
    }
    std::string why;
    if (!f->set(state, value, &why)) {
        *error = std::string(name) + ": " + why;
        return false;
    }
    return true;
}

std::string FormatState(const DeviceState& state) {
    std::string text = "# velmo modem stand-in device state\n";
    for (const FieldDef& f : kFields) {
        text += f.name;
        text += " = ";
        text += f.get(state);
        text += '\n';
    }
    return text;
}

void ParseState(std::string_view text, DeviceState& state, std::string* warnings) {
    int lineNo = 0;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++lineNo;
        line = Trim(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t eq = line.find('=');
        std::string error = "no '='";
        if (eq != std::string_view::npos &&
            SetStateField(state, Trim(line.substr(0, eq)), line.substr(eq + 1), &error)) {
            continue;
        }
        if (warnings != nullptr) {
            *warnings += "line " + std::to_string(lineNo) + ": " + error + "\n";
        }
    }
}

std::string DefaultStatePath() {
    if (const char* path = std::getenv("VELMO_SIM_STATE"); path != nullptr && *path != '\0') {
        return path;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.local/state";
    } else {
        base = "/tmp/velmo-" + std::to_string(getuid()) + "/state";
    }
    return base + "/velmo/modem-sim.state";
}

bool LoadStateFile(const std::string& path, DeviceState& state, std::string* error) {
    state = DeviceState{};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return SaveStateFile(path, state, error);
        }
        *error = ErrnoText("cannot open", path);
        return false;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *error = ErrnoText("cannot read", path);
            close(fd);
            return false;
        }
        if (got == 0 || text.size() > (1u << 20)) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    std::string warnings;
    ParseState(text, state, &warnings);
    if (!warnings.empty()) {
        std::fprintf(stderr, "velmo-modem-sim: %s: ignored\n%s", path.c_str(), warnings.c_str());
    }
    return true;
}

bool SaveStateFile(const std::string& path, const DeviceState& state, std::string* error) {
    if (!MakeParents(path)) {
        *error = ErrnoText("cannot create the folder of", path);
        return false;
    }
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = ErrnoText("cannot create", temp);
        return false;
    }
    const std::string text = FormatState(state);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    // A crash must leave either the old file or the new one, never half of one.
    const bool ok = done == text.size() && fsync(fd) == 0;
    const int savedErrno = errno;
    close(fd);
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        errno = ok ? errno : savedErrno;
        *error = ErrnoText("cannot write", path);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace velmo::sim
