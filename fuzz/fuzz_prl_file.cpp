// The roaming list file as the download takes it (LoadPrlFile). Its checks only exist behind a path, so the
// input is written to a temporary file made by mkstemp under /tmp and removed again. Checked: a file is taken
// exactly when its first two bytes (high byte first) give its own size and it is below the size limit, the
// bytes taken are the file's, and a refused file comes with a message and no bytes.
#include <unistd.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "manager/programming/AdvancedConfigModel.h"

using velmo::manager::programming::kPrlFileLimit;
using velmo::manager::programming::LoadPrlFile;
using velmo::manager::programming::PrlFile;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool noName = !LoadPrlFile(QString()).refusal.isEmpty();
    Check(noName);

    char path[] = "/tmp/velmo-fuzz-prl.XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return 0;
    }
    const bool written = WriteAll(fd, data, size);
    close(fd);
    if (!written) {
        unlink(path);
        return 0;
    }
    const PrlFile file = LoadPrlFile(QString::fromLocal8Bit(path));
    unlink(path);

    const bool valid = size >= 2 && static_cast<int64_t>(size) < kPrlFileLimit &&
                       (static_cast<size_t>(data[0]) << 8 | data[1]) == size;
    Check(file.refusal.isEmpty() == valid);
    if (valid) {
        Check(file.bytes.size() == size && std::memcmp(file.bytes.data(), data, size) == 0);
    } else {
        Check(file.bytes.empty());
    }
    return 0;
}
