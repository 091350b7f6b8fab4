// The parameter backup file reader: BackupFromJson on the input as text. Checked: a refused file comes with a
// message; a read backup has an 8-digit upper-case ESN, entries and unread codes of stored, writable
// parameters, each code once and in the table's order, with the table's names; written back by BackupToJson
// it reads again to the same backup, and writing that gives the same text.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ParameterBackup.h"

using namespace velmo::programming;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool Same(const Backup& a, const Backup& b) {
    if (a.esn != b.esn || a.savedUtc != b.savedUtc || a.unread != b.unread ||
        a.entries.size() != b.entries.size()) {
        return false;
    }
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const BackupEntry& x = a.entries[i];
        const BackupEntry& y = b.entries[i];
        if (x.code != y.code || x.name != y.name || x.value != y.value) {
            return false;
        }
    }
    return true;
}

size_t TableIndex(uint8_t code) {
    const auto table = StoredParameters();
    const StoredParameter* row = FindStoredParameter(code);
    Check(row != nullptr && row->writable);
    return static_cast<size_t>(row - table.data());
}

void CheckShape(const Backup& b) {
    Check(b.esn.size() == 8 && std::all_of(b.esn.begin(), b.esn.end(), [](unsigned char c) {
              return std::isdigit(c) != 0 || (c >= 'A' && c <= 'F');
          }));
    Check(b.savedUtc.size() == 20 && b.savedUtc.back() == 'Z');
    std::vector<uint8_t> codes;
    for (size_t i = 0; i < b.entries.size(); ++i) {
        Check(b.entries[i].name == FindStoredParameter(b.entries[i].code)->name);
        Check(i == 0 || TableIndex(b.entries[i - 1].code) < TableIndex(b.entries[i].code));
        codes.push_back(b.entries[i].code);
    }
    for (size_t i = 0; i < b.unread.size(); ++i) {
        Check(i == 0 || TableIndex(b.unread[i - 1]) < TableIndex(b.unread[i]));
        codes.push_back(b.unread[i]);
    }
    std::sort(codes.begin(), codes.end());
    Check(std::adjacent_find(codes.begin(), codes.end()) == codes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<Backup> backup = BackupFromJson(text, &error);
    if (!backup) {
        Check(!error.empty());
        return 0;
    }
    CheckShape(*backup);

    const std::string written = BackupToJson(*backup);
    const std::optional<Backup> again = BackupFromJson(written, &error);
    Check(again && Same(*again, *backup));
    Check(BackupToJson(*again) == written);
    (void)RestoreLines(*again);
    return 0;
}
