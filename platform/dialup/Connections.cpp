#include "Connections.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "FileUtil.h"
#include "Phonebook.h"
#include "Process.h"

namespace velmo::dialup {

namespace {

constexpr size_t kMaxRecordSize = 16 * 1024;
constexpr const char* kRecordSuffix = ".conn";

uint64_t ToNumber(const std::string& text) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0' ? v : 0;
}

}  // namespace

std::string FormatRecord(const ConnectionRecord& r) {
    std::string text;
    auto put = [&text](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += EscapeValue(value);
        text += '\n';
    };
    put("id", std::to_string(r.id));
    put("entry", r.entryName);
    put("device", r.deviceName);
    put("tty", r.tty);
    put("interface", r.interface);
    put("owner_pid", std::to_string(r.ownerPid));
    put("owner_start", std::to_string(r.ownerStart));
    put("owner_tid", std::to_string(r.ownerTid));
    put("pid", std::to_string(r.pid));
    put("pid_start", std::to_string(r.pidStart));
    put("program", r.program);
    put("state", std::to_string(r.state));
    put("error", std::to_string(r.error));
    put("created_ms", std::to_string(r.createdMs));
    put("connected_ms", std::to_string(r.connectedMs));
    put("bps", std::to_string(r.bps));
    return text;
}

bool ParseRecord(const std::string& text, ConnectionRecord& out) {
    ConnectionRecord r;
    for (const auto& [key, raw] : ParseKeyValues(text)) {
        const std::string v = UnescapeValue(raw);
        if (key == "id") {
            r.id = static_cast<ConnectionId>(ToNumber(v));
        } else if (key == "entry") {
            r.entryName = v;
        } else if (key == "device") {
            r.deviceName = v;
        } else if (key == "tty") {
            r.tty = v;
        } else if (key == "interface") {
            r.interface = v;
        } else if (key == "owner_pid") {
            r.ownerPid = static_cast<pid_t>(ToNumber(v));
        } else if (key == "owner_start") {
            r.ownerStart = ToNumber(v);
        } else if (key == "owner_tid") {
            r.ownerTid = static_cast<pid_t>(ToNumber(v));
        } else if (key == "pid") {
            r.pid = static_cast<pid_t>(ToNumber(v));
        } else if (key == "pid_start") {
            r.pidStart = ToNumber(v);
        } else if (key == "program") {
            r.program = v;
        } else if (key == "state") {
            r.state = static_cast<uint32_t>(ToNumber(v));
        } else if (key == "error") {
            r.error = static_cast<uint32_t>(ToNumber(v));
        } else if (key == "created_ms") {
            r.createdMs = ToNumber(v);
        } else if (key == "connected_ms") {
            r.connectedMs = ToNumber(v);
        } else if (key == "bps") {
            r.bps = static_cast<uint32_t>(ToNumber(v));
        }
    }
    if (r.id == 0) {
        return false;
    }
    out = std::move(r);
    return true;
}

std::string ConnectionStore::PathOf(ConnectionId id, const char* suffix) const {
    return dir_ + "/" + std::to_string(id) + suffix;
}

bool ConnectionStore::EnsureDirectory() const {
    if (!MakeDirectories(dir_, 0700)) {
        return false;
    }
    struct stat st {};
    if (stat(dir_.c_str(), &st) == 0 && (st.st_mode & 077) != 0 && st.st_uid == geteuid()) {
        chmod(dir_.c_str(), 0700);
    }
    return true;
}

bool ConnectionStore::Create(ConnectionRecord& record) {
    if (!EnsureDirectory()) {
        return false;
    }
    for (int attempt = 0; attempt < 32; ++attempt) {
        uint32_t random = 0;
        if (getrandom(&random, sizeof random, 0) != sizeof random) {
            return false;
        }
        // Positive 31-bit ids: they survive any caller that keeps handles in an int.
        record.id = (random & 0x7FFFFFFFu) == 0 ? 1 : (random & 0x7FFFFFFFu);
        const std::string temp = PathOf(record.id, ".new");
        if (!WriteFileAtomically(temp, FormatRecord(record), 0600)) {
            return false;
        }
        // link() claims the id only if no record has it yet.
        const bool claimed = link(temp.c_str(), PathOf(record.id, kRecordSuffix).c_str()) == 0;
        unlink(temp.c_str());
        if (claimed) {
            unlink(PathOf(record.id, ".hangup").c_str());
            unlink(PathOf(record.id, ".base").c_str());
            return true;
        }
    }
    return false;
}

bool ConnectionStore::Update(const ConnectionRecord& record) {
    struct stat st {};
    // Never bring back a record someone else removed.
    if (stat(PathOf(record.id, kRecordSuffix).c_str(), &st) != 0) {
        return false;
    }
    return WriteFileAtomically(PathOf(record.id, kRecordSuffix), FormatRecord(record), 0600);
}

bool ConnectionStore::Read(ConnectionId id, ConnectionRecord& record) const {
    std::string text;
    return id != 0 && ReadSmallFile(PathOf(id, kRecordSuffix), text, kMaxRecordSize) &&
           ParseRecord(text, record) && record.id == id;
}

void ConnectionStore::Remove(ConnectionId id) {
    // The record before its hang-up request: status readers rely on this order.
    unlink(PathOf(id, kRecordSuffix).c_str());
    unlink(PathOf(id, ".hangup").c_str());
    unlink(PathOf(id, ".base").c_str());
}

bool ConnectionStore::OwnerAlive(const ConnectionRecord& r) const {
    return r.ownerPid > 0 && ProcessAlive(proc_, r.ownerPid, r.ownerStart);
}

bool ConnectionStore::ChildAlive(const ConnectionRecord& r) const {
    return r.pid > 0 && ProcessAlive(proc_, r.pid, r.pidStart);
}

std::vector<ConnectionRecord> ConnectionStore::List() {
    std::vector<ConnectionRecord> records;
    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) {
        return records;
    }
    std::vector<ConnectionId> ids;
    std::vector<std::string> extras;
    while (const dirent* de = readdir(d)) {
        const std::string name = de->d_name;
        const size_t dot = name.find('.');
        if (dot == 0 || dot == std::string::npos) {
            continue;
        }
        const std::string suffix = name.substr(dot);
        if (suffix == kRecordSuffix) {
            ids.push_back(static_cast<ConnectionId>(ToNumber(name.substr(0, dot))));
        } else if (suffix == ".hangup" || suffix == ".base") {
            extras.push_back(name);
        }
    }
    closedir(d);
    // A hang-up request or a baseline whose record is gone was left by a process that died at the wrong
    // moment.
    for (const std::string& name : extras) {
        struct stat st {};
        const std::string record = dir_ + "/" + name.substr(0, name.find('.')) + kRecordSuffix;
        if (stat(record.c_str(), &st) != 0 && errno == ENOENT) {
            unlink((dir_ + "/" + name).c_str());
        }
    }
    for (ConnectionId id : ids) {
        ConnectionRecord r;
        if (!Read(id, r)) {
            continue;
        }
        if (Live(r)) {
            records.push_back(std::move(r));
        } else {
            Remove(id);
        }
    }
    std::sort(records.begin(), records.end(), [](const ConnectionRecord& a, const ConnectionRecord& b) {
        return a.createdMs != b.createdMs ? a.createdMs < b.createdMs : a.id < b.id;
    });
    return records;
}

bool ConnectionStore::RequestHangUp(ConnectionId id, HangUpMode mode) {
    return WriteFileAtomically(PathOf(id, ".hangup"), mode == HangUpMode::Quiet ? "quiet\n" : "notify\n",
                               0600);
}

HangUpMode ConnectionStore::HangUpRequested(ConnectionId id) const {
    std::string text;
    if (!ReadSmallFile(PathOf(id, ".hangup"), text, 64)) {
        return HangUpMode::None;
    }
    return text.rfind("quiet", 0) == 0 ? HangUpMode::Quiet : HangUpMode::Notify;
}

bool ConnectionStore::ReadBaseline(ConnectionId id, Counters& counters) const {
    counters.fill(0);
    std::string text;
    if (!ReadSmallFile(PathOf(id, ".base"), text, 4096)) {
        return false;
    }
    for (const auto& [key, value] : ParseKeyValues(text)) {
        for (size_t i = 0; i < kCounterFiles.size(); ++i) {
            if (key == kCounterFiles[i]) {
                counters[i] = ToNumber(value);
            }
        }
    }
    return true;
}

bool ConnectionStore::WriteBaseline(ConnectionId id, const Counters& counters) {
    std::string text;
    for (size_t i = 0; i < kCounterFiles.size(); ++i) {
        text += std::string(kCounterFiles[i]) + "=" + std::to_string(counters[i]) + "\n";
    }
    return WriteFileAtomically(PathOf(id, ".base"), text, 0600);
}

}  // namespace velmo::dialup
