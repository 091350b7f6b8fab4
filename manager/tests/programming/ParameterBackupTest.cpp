// The parameter backup against a scripted parameter store: what is read and kept, the file (format, refusals,
// modes, atomic replacement) and the restore (order, bytes, ESN check, failed writes and read-back
// differences).
#include "ParameterBackup.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace velmo::programming {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Value bytes as the library gives them: the value, then zeros up to 126 bytes.
Bytes Value(std::initializer_list<uint8_t> bytes) {
    Bytes v(bytes);
    v.resize(126);
    return v;
}
Bytes Text(const std::string& text) {
    Bytes v(text.begin(), text.end());
    v.resize(126);
    return v;
}

// A modem's parameters. A write stores its bytes as the next read's (what the library's conversions amount
// to); codes in ignored take a write without keeping it, as a locked modem may.
class FakeParameters : public IParameterAccess {
  public:
    FakeParameters() {
        values = {
            {0, Value({0x11, 0x2C, 0x3A, 0x8F})},
            {1, Text("5550123")},
            {3, Text("619")},
            {5, Text("310")},
            {7, Text("00")},
            {11, Text("6195550123")},
            {12, Value({0x2B, 0x10, 0xFF, 0xFF})},
            {14, Value({1})},
            {16, Value({0})},
            {19, Value({0x1B, 0x01, 0xB3, 0x02})},
            {20, Value({0x80, 0x01, 0x09, 0x03})},
            {22, Value({2})},
            {24, Value({1})},
            {25, Text("000000")},
            {26, Text("12345678901234567890")},
            {27, Value({4, 0})},
            {28, Text("user@velmo.example")},
            {29, Text("secretpw")},
            {30, Value({0, 0, 0, 0})},
            {31, Value({0x2B, 0x10, 0xFF, 0xFF})},
            {34, Value({1})},
        };
    }
    std::optional<Bytes> Read(uint8_t code) override {
        reads.push_back(code);
        const auto it = values.find(code);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    bool Write(uint8_t code, std::span<const uint8_t> value) override {
        writes.emplace_back(code, Bytes(value.begin(), value.end()));
        if (refused.count(code) != 0) {
            return false;
        }
        if (ignored.count(code) == 0) {
            values[code] = Bytes(value.begin(), value.end());
            values[code].resize(126);
        }
        return true;
    }

    std::map<uint8_t, Bytes> values;
    std::set<uint8_t> refused, ignored;
    std::vector<uint8_t> reads;
    std::vector<std::pair<uint8_t, Bytes>> writes;
};

std::string Shown(const Backup& b, uint8_t code) {
    for (const BackupEntry& e : b.entries) {
        if (e.code == code) {
            return e.value;
        }
    }
    return "(none)";
}

void ExpectSame(const Backup& a, const Backup& b) {
    EXPECT_EQ(a.esn, b.esn);
    EXPECT_EQ(a.savedUtc, b.savedUtc);
    EXPECT_EQ(a.unread, b.unread);
    ASSERT_EQ(a.entries.size(), b.entries.size());
    for (size_t i = 0; i < a.entries.size(); ++i) {
        EXPECT_EQ(a.entries[i].code, b.entries[i].code);
        EXPECT_EQ(a.entries[i].name, b.entries[i].name);
        EXPECT_EQ(a.entries[i].value, b.entries[i].value) << int(a.entries[i].code);
    }
}

TEST(ParameterBackupTest, ReadsWhatIsStoredKeepsNoSecretsAndRoundTripsThroughJson) {
    FakeParameters modem;
    modem.values[3] = Text("61");  // cannot be written back: counts as not read
    // Bytes after the terminator are not part of the text; a byte that is not UTF-8 still survives the file.
    modem.values[28] = Text(std::string("id\xff\x01x") + '\0' + "junk");
    std::string error;
    const auto backup = ReadBackup(modem, &error);
    ASSERT_TRUE(backup) << error;
    EXPECT_EQ(backup->esn, "8F3A2C11");
    EXPECT_EQ(backup->savedUtc.size(), 20u);
    EXPECT_EQ(Shown(*backup, 1), "5550123");
    EXPECT_EQ(Shown(*backup, 12), "4139,65535");
    EXPECT_EQ(Shown(*backup, 20), "384,777");
    EXPECT_EQ(Shown(*backup, 22), "2");
    EXPECT_EQ(Shown(*backup, 27), "4");
    EXPECT_EQ(Shown(*backup, 28), "id\xff\x01x");
    EXPECT_EQ(backup->unread, (std::vector<uint8_t>{3, 15}));
    EXPECT_EQ(backup->entries.size(), 16u);
    for (uint8_t secret : {25, 26, 29}) {
        EXPECT_EQ(std::count(modem.reads.begin(), modem.reads.end(), secret), 0) << int(secret);
    }

    const std::string json = BackupToJson(*backup);
    EXPECT_NE(json.find("\"format\": \"velmo-parameter-backup\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"code\":12,\"name\":\"HOME SID_NID\",\"value\":[4139,65535]}"), std::string::npos);
    EXPECT_NE(json.find("{\"code\":14,\"name\":\"MOB_TERM_HOME\",\"value\":1}"), std::string::npos);
    EXPECT_NE(json.find("{\"code\":28,\"name\":\"CHAP ID\",\"hex\":\"6964ff0178\"}"), std::string::npos);
    EXPECT_NE(json.find("\"unread\": [3,15]"), std::string::npos);
    for (const char* secret :
         {"000000", "1234567890", "secretpw", "\"code\":25", "\"code\":26", "\"code\":29"}) {
        EXPECT_EQ(json.find(secret), std::string::npos) << secret;
    }
    const auto again = BackupFromJson(json, &error);
    ASSERT_TRUE(again) << error;
    ExpectSame(*backup, *again);

    modem.values.erase(0);
    EXPECT_FALSE(ReadBackup(modem, &error));
    EXPECT_EQ(error, "the modem's ESN cannot be read");
}

TEST(ParameterBackupTest, RefusesFilesThatAreNotAValidBackup) {
    const std::string head = R"({"format":"velmo-parameter-backup","version":1,"esn":"8f3a2c11",)"
                             R"("saved":"2026-12-09T07:01:02Z",)";
    auto with = [&](const std::string& parameters) { return head + R"("parameters":[)" + parameters + "]}"; };
    // The file's order is not the restore's: entries come back in the table's, the ESN in capitals.
    std::string error;
    const auto ok = BackupFromJson(with(R"({"code":3,"value":"619"},{"code":1,"value":"5550123"})"), &error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->esn, "8F3A2C11");
    ASSERT_EQ(ok->entries.size(), 2u);
    EXPECT_EQ(ok->entries[0].code, 1);
    EXPECT_EQ(RestoreLines(*ok), (std::vector<std::string>{"MIN1 (1): 5550123", "MIN2 (3): 619"}));

    const std::pair<std::string, std::string> cases[] = {
        {"{\"format\":", "not a JSON object"},
        {R"({"format":"other","version":1})", "not a parameter backup"},
        {R"({"format":"velmo-parameter-backup","version":2})", "backup version 2 is not supported"},
        {R"({"format":"velmo-parameter-backup","version":1,"esn":"8F3A2C1"})", "\"esn\" must be 8 hex"},
        {R"({"format":"velmo-parameter-backup","version":1,"esn":"8F3A2C11","saved":"2026-12-09 07:01"})",
         "\"saved\" must be a UTC time"},
        {with(R"({"code":25,"value":"000000"})"), "unknown parameter code 25"},
        {with(R"({"code":0,"value":"8F3A2C11"})"), "unknown parameter code 0"},
        {with(R"({"code":14,"value":1},{"code":14,"value":0})"),
         "parameter 14 (MOB_TERM_HOME) is listed twice"},
        {with(R"({"code":12,"value":[70000,1]})"),
         "parameter 12 (HOME SID_NID): the value must be two numbers"},
        {with(R"({"code":12,"value":[1]})"), "parameter 12 (HOME SID_NID): the value must be two numbers"},
        {with(R"({"code":14,"value":256})"),
         "parameter 14 (MOB_TERM_HOME): the value must be a number from 0"},
        {with(R"({"code":22,"value":-1})"), "parameter 22 (SCI): the value must be a number"},
        {with(R"({"code":27,"value":1.5})"), "parameter 27 (PREF_MODE): the value must be a number"},
        {with(R"({"code":1,"value":"555012"})"), "parameter 1 (MIN1): the value must be a text of exactly 7"},
        {with(R"({"code":28,"value":")" + std::string(65, 'a') + "\"}"), "at most 64 bytes"},
        {with(R"({"code":28,"hex":"41g0"})"), "parameter 28 (CHAP ID): the value must be"},
        {head + R"("parameters":[],"unread":[29]})", "unknown parameter code 29"},
    };
    for (const auto& [text, message] : cases) {
        error.clear();
        EXPECT_FALSE(BackupFromJson(text, &error)) << text;
        EXPECT_NE(error.find(message), std::string::npos) << text << "\n -> " << error;
    }
}

class BackupFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "velmo-backup-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
        // The modes asked for must not depend on the caller's umask.
        oldMask_ = umask(0);
        backup_.esn = "8F3A2C11";
        backup_.savedUtc = "2026-12-09T07:01:02Z";
        backup_.entries = {{1, "MIN1", "5550123"}, {12, "HOME SID_NID", "4139,65535"}};
    }
    void TearDown() override {
        umask(oldMask_);
        unsetenv("XDG_STATE_HOME");
        fs::remove_all(dir_);
    }
    static unsigned Mode(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    std::string dir_;
    mode_t oldMask_ = 0;
    Backup backup_;
};

TEST_F(BackupFileTest, SavesPrivatelyAndAtomicallyAndLoadsBack) {
    const std::string folder = dir_ + "/state/velmo/backups";
    EXPECT_EQ(BackupFolder(), folder);
    const std::string path = DefaultBackupPath(backup_);
    EXPECT_EQ(path, folder + "/8F3A2C11-20261209T070102Z.json");
    std::string error;
    ASSERT_TRUE(SaveBackup(backup_, path, &error)) << error;
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(path), 0600u);
    // Saved again over the first: still one file, nothing temporary left beside it.
    backup_.entries[0].value = "5550199";
    ASSERT_TRUE(SaveBackup(backup_, path, &error)) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
    const auto loaded = LoadBackup(path, &error);
    ASSERT_TRUE(loaded) << error;
    ExpectSame(backup_, *loaded);

    // Our own folder is narrowed when it was made wider; one the user named is left as it is.
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    ASSERT_TRUE(SaveBackup(backup_, path, &error)) << error;
    EXPECT_EQ(Mode(folder), 0700u);
    fs::create_directories(dir_ + "/shared");
    ASSERT_EQ(chmod((dir_ + "/shared").c_str(), 0755), 0);
    ASSERT_TRUE(SaveBackup(backup_, dir_ + "/shared/b.json", &error)) << error;
    EXPECT_EQ(Mode(dir_ + "/shared"), 0755u);
    EXPECT_EQ(Mode(dir_ + "/shared/b.json"), 0600u);

    std::ofstream(dir_ + "/big.json") << std::string(kBackupFileLimit + 1, ' ');
    EXPECT_FALSE(LoadBackup(dir_ + "/big.json", &error));
    EXPECT_NE(error.find("larger than a backup can be"), std::string::npos) << error;
    std::ofstream(dir_ + "/other.json") << R"({"format":"velmo-parameter-backup","version":7})";
    EXPECT_FALSE(LoadBackup(dir_ + "/other.json", &error));
    EXPECT_EQ(error, dir_ + "/other.json: backup version 7 is not supported (this program reads version 1)");
    EXPECT_FALSE(LoadBackup(dir_ + "/missing.json", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(ParameterRestoreTest, WritesInTheTablesOrderAndReadsEachBack) {
    FakeParameters modem;
    std::string error;
    auto backup = ReadBackup(modem, &error);
    ASSERT_TRUE(backup) << error;
    std::reverse(backup->entries.begin(), backup->entries.end());
    modem.values[1] = Text("5550000");
    modem.values[12] = Value({1, 0, 2, 0});
    modem.reads.clear();

    const RestoreResult result = RestoreBackup(modem, *backup);
    EXPECT_TRUE(result.Ok());
    EXPECT_EQ(result.modemEsn, "8F3A2C11");
    std::vector<uint8_t> order;
    for (const auto& [code, bytes] : modem.writes) {
        order.push_back(code);
    }
    EXPECT_EQ(order, (std::vector<uint8_t>{1, 3, 5, 7, 11, 12, 14, 16, 19, 20, 22, 24, 27, 28, 30, 31, 34}));
    EXPECT_EQ(modem.writes[0].second, Bytes({'5', '5', '5', '0', '1', '2', '3'}));
    EXPECT_EQ(modem.writes[5].second, Bytes({0x2B, 0x10, 0xFF, 0xFF}));
    EXPECT_EQ(modem.writes[12].second, Bytes({4, 0, 0, 0}));  // the mode goes out in 32 bits
    EXPECT_EQ(modem.values[1], Text("5550123"));
    // The ESN first, then every written value once more.
    EXPECT_EQ(modem.reads.size(), 1 + order.size());
    EXPECT_EQ(modem.reads.front(), 0);
}

TEST(ParameterRestoreTest, RefusesAnotherModemAndReportsWhatDidNotTake) {
    FakeParameters modem;
    Backup backup;
    backup.esn = "8F3A2C12";
    backup.entries = {{14, "MOB_TERM_HOME", "0"}, {12, "HOME SID_NID", "1,2"}, {28, "CHAP ID", "a\x1b[2J"}};
    RestoreResult result = RestoreBackup(modem, backup);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.modemEsn, "8F3A2C11");
    EXPECT_TRUE(modem.writes.empty());
    modem.values.erase(0);
    result = RestoreBackup(modem, backup);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.modemEsn, "");
    EXPECT_TRUE(modem.writes.empty());

    // Locked: one write refused outright, one taken but not kept.
    FakeParameters locked;
    backup.esn = "8f3a2c11";
    locked.refused = {12};
    locked.ignored = {14};
    result = RestoreBackup(locked, backup);
    EXPECT_FALSE(result.refused);
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.failed, (std::vector<uint8_t>{12}));
    EXPECT_EQ(result.differs, (std::vector<uint8_t>{14}));
    ASSERT_EQ(result.readBack.size(), 1u);
    EXPECT_EQ(result.readBack[0].value, "1");
    EXPECT_EQ(std::count(locked.reads.begin(), locked.reads.end(), 12),
              0);  // a failed write is not read back
    // A confirmation shows no terminal controls from a file.
    EXPECT_EQ(
        RestoreLines(backup),
        (std::vector<std::string>{"HOME SID_NID (12): 1,2", "MOB_TERM_HOME (14): 0", "CHAP ID (28): a?[2J"}));
}

}  // namespace
}  // namespace velmo::programming
