#include "Phonebook.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileUtil.h"

namespace velmo::dialup {

namespace {

constexpr const char* kEntrySuffix = ".entry";
// Keeps file names well inside NAME_MAX; longer names are cut and made unique by a hash.
constexpr size_t kMaxEncodedName = 180;
constexpr size_t kMaxEntryFileSize = 64 * 1024;

bool KeepInFileName(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr(" .-_()#+,@=", c) != nullptr;
}

uint64_t Fnv1a64(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        h = (h ^ c) * 0x100000001b3ULL;
    }
    return h;
}

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

bool ParseNumber(const std::string& text, long long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == '\0';
}

// Holds an exclusive lock on the folder's lock file while entries are rewritten, so that two programs editing
// the same entry do not lose each other's change.
class FolderLock {
  public:
    explicit FolderLock(const std::string& dir) {
        fd_ = open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace

bool IsValidEntryName(const std::string& name) {
    if (name.empty() || name.size() > kMaxEntryNameBytes || name[0] == '.') {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F || c == '/' || c == '\\';
    });
}

std::string EscapeValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string UnescapeValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 >= value.size()) {
            out += value[i];
            continue;
        }
        if (value[i + 1] == 'x' && i + 3 < value.size()) {
            const std::string hex = value.substr(i + 2, 2);
            char* end = nullptr;
            const long c = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += static_cast<char>(c);
                i += 3;
                continue;
            }
        }
        out += value[i + 1];
        ++i;
    }
    return out;
}

std::string Phonebook::EntryPath(const std::string& name) const {
    std::string encoded;
    for (unsigned char c : name) {
        if (KeepInFileName(c)) {
            encoded += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            encoded += buf;
        }
    }
    if (encoded.size() > kMaxEncodedName) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
        encoded = encoded.substr(0, kMaxEncodedName) + hash;
    }
    return dir_ + "/" + encoded + kEntrySuffix;
}

bool Phonebook::EnsureDirectory() const {
    if (!MakeDirectories(dir_, 0700)) {
        return false;
    }
    struct stat st {};
    if (stat(dir_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    if ((st.st_mode & 077) != 0 && st.st_uid == geteuid()) {
        chmod(dir_.c_str(), 0700);
    }
    return true;
}

int Phonebook::Validate(const std::string& name) const {
    if (!IsValidEntryName(name)) {
        return kErrorInvalidName;
    }
    Record record;
    return Read(name, record) == kErrorOk ? kErrorAlreadyExists : kErrorOk;
}

int Phonebook::Read(const std::string& name, Record& record) const {
    if (!IsValidEntryName(name)) {
        return kErrorInvalidName;
    }
    std::string text;
    if (!ReadSmallFile(EntryPath(name), text, kMaxEntryFileSize)) {
        return kErrorCannotFindEntry;
    }
    Record r;
    bool named = false;
    for (const auto& [key, raw] : ParseKeyValues(text)) {
        const std::string value = UnescapeValue(raw);
        long long n = 0;
        const bool numeric = ParseNumber(value, n);
        if (key == "name") {
            r.entry.name = value;
            r.params.entryName = value;
            named = true;
        } else if (key == "phone") {
            r.entry.phoneNumber = value;
        } else if (key == "device_type") {
            r.entry.deviceType = value;
        } else if (key == "device_name") {
            r.entry.deviceName = value;
        } else if (key == "area_code") {
            r.entry.areaCode = value;
        } else if (key == "user") {
            r.params.userName = value;
        } else if (key == "domain") {
            r.params.domain = value;
        } else if (key == "password") {
            r.params.password = value;
            r.params.passwordSaved = true;
        } else if (numeric) {
            const auto u = static_cast<uint32_t>(n);
            if (key == "options") {
                r.entry.options = u;
            } else if (key == "options2") {
                r.entry.options2 = u;
            } else if (key == "country_id") {
                r.entry.countryId = u;
            } else if (key == "country_code") {
                r.entry.countryCode = u;
            } else if (key == "framing") {
                r.entry.framingProtocol = u;
            } else if (key == "protocols") {
                r.entry.networkProtocols = u;
            } else if (key == "idle_disconnect") {
                r.entry.idleDisconnectSeconds = static_cast<int32_t>(n);
            } else if (key == "encryption") {
                r.entry.encryptionType = u;
            }
        }
    }
    // A hashed file name could in theory belong to another name: the stored name decides.
    if (!named || r.entry.name != name) {
        return kErrorCannotFindEntry;
    }
    record = std::move(r);
    return kErrorOk;
}

int Phonebook::Write(const Record& record) {
    const DialEntry& e = record.entry;
    std::string text = "# dial-up entry\n";
    auto put = [&text](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += EscapeValue(value);
        text += '\n';
    };
    put("name", e.name);
    put("phone", e.phoneNumber);
    put("device_type", e.deviceType);
    put("device_name", e.deviceName);
    put("options", Hex32(e.options));
    put("options2", Hex32(e.options2));
    put("country_id", std::to_string(e.countryId));
    put("country_code", std::to_string(e.countryCode));
    put("area_code", e.areaCode);
    put("framing", std::to_string(e.framingProtocol));
    put("protocols", std::to_string(e.networkProtocols));
    put("idle_disconnect", std::to_string(e.idleDisconnectSeconds));
    put("encryption", std::to_string(e.encryptionType));
    put("user", record.params.userName);
    put("domain", record.params.domain);
    if (record.params.passwordSaved) {
        put("password", record.params.password);
    }
    return WriteFileAtomically(EntryPath(e.name), text, 0600) ? kErrorOk : kErrorCannotWritePhonebook;
}

int Phonebook::Get(const std::string& name, DialEntry* entry, DialParams* params) const {
    Record record;
    if (const int result = Read(name, record); result != kErrorOk) {
        return result;
    }
    if (entry != nullptr) {
        *entry = record.entry;
    }
    if (params != nullptr) {
        *params = record.params;
    }
    return kErrorOk;
}

int Phonebook::SetEntry(const DialEntry& entry) {
    if (!IsValidEntryName(entry.name)) {
        return kErrorInvalidName;
    }
    if (!EnsureDirectory()) {
        return kErrorCannotWritePhonebook;
    }
    FolderLock lock(dir_);
    Record record;
    if (Read(entry.name, record) != kErrorOk) {
        record = Record{};
        record.params.entryName = entry.name;
    }
    record.entry = entry;
    return Write(record);
}

int Phonebook::SetParams(const DialParams& params, bool removePassword) {
    if (!IsValidEntryName(params.entryName)) {
        return kErrorInvalidName;
    }
    if (!EnsureDirectory()) {
        return kErrorCannotWritePhonebook;
    }
    FolderLock lock(dir_);
    Record record;
    if (const int result = Read(params.entryName, record); result != kErrorOk) {
        return result;
    }
    record.params.userName = params.userName;
    record.params.domain = params.domain;
    record.params.passwordSaved = !removePassword;
    record.params.password = removePassword ? std::string() : params.password;
    return Write(record);
}

int Phonebook::Delete(const std::string& name) {
    if (!IsValidEntryName(name)) {
        return kErrorInvalidName;
    }
    Record record;
    if (Read(name, record) != kErrorOk) {
        return kErrorCannotFindEntry;
    }
    FolderLock lock(dir_);
    return unlink(EntryPath(name).c_str()) == 0 ? kErrorOk : kErrorCannotFindEntry;
}

int Phonebook::List(std::vector<std::string>& names) const {
    names.clear();
    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) {
        // No folder yet: an empty phonebook.
        return errno == ENOENT ? kErrorOk : kErrorCannotFindEntry;
    }
    const std::string suffix = kEntrySuffix;
    while (const dirent* de = readdir(d)) {
        const std::string file = de->d_name;
        if (file.empty() || file[0] == '.' || file.size() <= suffix.size() ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        std::string text;
        if (!ReadSmallFile(dir_ + "/" + file, text, kMaxEntryFileSize)) {
            continue;
        }
        for (const auto& [key, value] : ParseKeyValues(text)) {
            if (key == "name") {
                const std::string name = UnescapeValue(value);
                // Only files that are where their name puts them count; strays are ignored.
                if (IsValidEntryName(name) && EntryPath(name) == dir_ + "/" + file) {
                    names.push_back(name);
                }
                break;
            }
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return kErrorOk;
}

}  // namespace velmo::dialup
