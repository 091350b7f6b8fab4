#include "FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace velmo::dialup {

bool MakeDirectories(const std::string& path, mode_t mode) {
    if (path.empty()) {
        return false;
    }
    for (size_t pos = 0; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (!part.empty() && mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadSmallFile(const std::string& path, std::string& out, size_t maxBytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    out.clear();
    char buf[4096];
    while (ok) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (out.size() + static_cast<size_t>(n) > maxBytes) {
            ok = false;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir + "/.tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    // The process umask must not widen or narrow what the caller asked for.
    bool ok = fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> ParseKeyValues(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) {
            continue;
        }
        out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

}  // namespace velmo::dialup
