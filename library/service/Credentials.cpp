#include "Credentials.h"

#include <fcntl.h>
#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace velmo::service {

namespace {

constexpr const char kPassPhrase[] = "Qb4#t7e&";
constexpr const char kSection[] = "[SOFTWARE\\Talvorn\\OrvikConnect\\]";
constexpr const char kValueName[] = "Password";
// The default provider's RC4 key is 40 bits: 5 hash bytes, padded with 11 zero bytes of salt.
constexpr size_t kKeyBytes = 5;
constexpr size_t kRc4KeySize = 16;

std::string ConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

bool MakeFolder(const std::string& dir, mode_t mode) {
    if (mkdir(dir.c_str(), mode) == 0) {
        return true;
    }
    struct stat st {};
    return errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Hex(const uint8_t* data, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

bool Unhex(const std::string& text, std::vector<uint8_t>& out) {
    if (text.size() % 2 != 0) {
        return false;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Reads the stored value; false when the file, the section or the value is missing or malformed.
bool ReadStoredValue(std::vector<uint8_t>& value) {
    std::ifstream in(CredentialsPath());
    if (!in) {
        return false;
    }
    std::string line;
    bool inSection = false;
    const std::string prefix = std::string(kValueName) + "=";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inSection = line == kSection;
        } else if (inSection && line.rfind(prefix, 0) == 0) {
            std::string text = line.substr(prefix.size());
            if (text.rfind("hex:", 0) != 0) {
                return false;
            }
            return Unhex(text.substr(4), value);
        }
    }
    return false;
}

}  // namespace

std::string CredentialsPath() {
    return ConfigFolder() + "/Talvorn/OrvikConnect.ini";
}

void CipherWithBaseHash(const uint8_t* hash16, uint8_t* data, size_t n) {
    uint8_t key[kRc4KeySize] = {};
    std::memcpy(key, hash16, kKeyBytes);
    arcfour_ctx ctx{};
    arcfour_set_key(&ctx, sizeof key, key);
    arcfour_crypt(&ctx, n, data, data);
}

void CipherPassword(uint8_t* data, size_t n) {
    md5_ctx md5{};
    md5_init(&md5);
    md5_update(&md5, sizeof kPassPhrase - 1, reinterpret_cast<const uint8_t*>(kPassPhrase));
    uint8_t hash[MD5_DIGEST_SIZE];
    md5_digest(&md5, sizeof hash, hash);
    CipherWithBaseHash(hash, data, n);
}

int32_t StorePasswordFile(const char* password) {
    if (password == nullptr) {
        return 0;
    }
    const std::string folder = ConfigFolder();
    const std::string dir = folder + "/Talvorn";
    if (!MakeFolder(folder, 0700) || !MakeFolder(dir, 0700)) {
        return 0;
    }
    std::vector<uint8_t> bytes(password, password + std::strlen(password));
    CipherPassword(bytes.data(), bytes.size());
    const std::string text =
        std::string(kSection) + "\n" + kValueName + "=hex:" + Hex(bytes.data(), bytes.size()) + "\n";

    // Written beside the target and renamed over it, so a failed store leaves the earlier value in place.
    const std::string path = CredentialsPath();
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return 0;
    }
    bool ok = fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        ok = wrote > 0;
        done += ok ? static_cast<size_t>(wrote) : 0;
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return 0;
    }
    return 1;
}

int32_t LoadPasswordFile(char* out32) {
    if (out32 == nullptr) {
        return 0;
    }
    std::vector<uint8_t> value;
    if (!ReadStoredValue(value) || value.size() > kStoredPasswordLimit) {
        return 0;
    }
    if (!value.empty()) {  // an empty value has no data pointer to copy from
        CipherPassword(value.data(), value.size());
        std::memcpy(out32, value.data(), value.size());
    }
    return 1;
}

}  // namespace velmo::service
