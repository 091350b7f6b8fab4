#include "library/service/Credentials.h"

#include <gtest/gtest.h>
#include <nettle/md5.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velmo::service {
namespace {

using Bytes = std::vector<uint8_t>;

// Points XDG_CONFIG_HOME at a folder of the test's own (not yet created, so the store has to make it).
class ConfigHome : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velmo-credentials-XXXXXX";
        const char* dir = mkdtemp(tmpl);
        ASSERT_NE(dir, nullptr);
        root_ = dir;
        home_ = root_ + "/config";
        setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::string FileText() const {
        std::ifstream in(CredentialsPath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The stored value's bytes, read from the file the way another program would.
    Bytes StoredValue() const {
        const std::string text = FileText();
        const std::string key = "Password=hex:";
        const size_t at = text.find(key);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no value in\n" << text;
            return {};
        }
        const size_t end = text.find('\n', at);
        const std::string hex = text.substr(at + key.size(), end - at - key.size());
        Bytes out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return out;
    }
    // A zeroed 32-byte output with a guard byte behind it.
    struct Output {
        char bytes[kStoredPasswordLimit + 1] = {};
    };

    std::string root_;
    std::string home_;
};

TEST(PasswordCipher, PublishedRc4SampleOfTheDerivedKey) {
    const uint8_t baseHash[16] = {0x73, 0x40, 0xe6, 0xe2, 0x74, 0xb8, 0xea, 0x39,
                                  0x93, 0x95, 0xaa, 0x29, 0xd6, 0x38, 0xb5, 0x2a};
    Bytes data(32);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    CipherWithBaseHash(baseHash, data.data(), data.size());
    const Bytes want = {0x26, 0x59, 0xde, 0x24, 0x44, 0xfa, 0x36, 0x9c, 0x11, 0x0c, 0xbb,
                        0x9d, 0xb6, 0xa2, 0xbd, 0x24, 0x04, 0x2e, 0xe3, 0xba, 0x72, 0x76,
                        0xf3, 0x27, 0x8d, 0xd5, 0xb4, 0x2f, 0x56, 0xcf, 0xf8, 0xc9};
    EXPECT_EQ(data, want);
    // The same operation deciphers.
    CipherWithBaseHash(baseHash, data.data(), data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(data[i], i);
    }
}

TEST(PasswordCipher, KeyComesFromTheMd5OfThePassPhrase) {
    md5_ctx md5{};
    md5_init(&md5);
    md5_update(&md5, 8, reinterpret_cast<const uint8_t*>("Qb4#t7e&"));
    uint8_t hash[MD5_DIGEST_SIZE];
    md5_digest(&md5, sizeof hash, hash);

    Bytes a = {'s', 'e', 'c', 'r', 'e', 't', '!', 0x00, 0xFF};
    Bytes b = a;
    CipherPassword(a.data(), a.size());
    CipherWithBaseHash(hash, b.data(), b.size());
    EXPECT_EQ(a, b);
}

TEST_F(ConfigHome, RoundTripWithoutTheClearText) {
    const char* password = "hunter2-Pa55word";
    ASSERT_EQ(StorePasswordFile(password), 1);
    Output out;
    ASSERT_EQ(LoadPasswordFile(out.bytes), 1);
    EXPECT_STREQ(out.bytes, password);

    const std::string text = FileText();
    EXPECT_EQ(text.find(password), std::string::npos) << text;
    EXPECT_EQ(text.find("hunter2"), std::string::npos) << text;
    // Neither in hex: the value is the cipher text, exactly as long as the password.
    std::string hex;
    char pair[3];
    for (const char* p = password; *p != '\0'; ++p) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(*p));
        hex += pair;
    }
    EXPECT_EQ(text.find(hex), std::string::npos);
    Bytes stored = StoredValue();
    ASSERT_EQ(stored.size(), std::strlen(password));
    CipherPassword(stored.data(), stored.size());
    EXPECT_EQ(std::string(stored.begin(), stored.end()), password);

    // A later store replaces the value.
    ASSERT_EQ(StorePasswordFile("second"), 1);
    Output again;
    ASSERT_EQ(LoadPasswordFile(again.bytes), 1);
    EXPECT_STREQ(again.bytes, "second");
}

TEST_F(ConfigHome, FileIsPrivateInAPrivateFolder) {
    ASSERT_EQ(StorePasswordFile("x"), 1);
    struct stat st {};
    ASSERT_EQ(stat(CredentialsPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string folder = std::filesystem::path(CredentialsPath()).parent_path();
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(home_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Stored beside itself and renamed: nothing else is left in the folder.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(ConfigHome, EmptyPasswordIsStoredAndLoadsEmpty) {
    ASSERT_EQ(StorePasswordFile(""), 1);
    EXPECT_TRUE(StoredValue().empty());
    Output out;
    EXPECT_EQ(LoadPasswordFile(out.bytes), 1);
    EXPECT_EQ(out.bytes[0], '\0');
}

TEST_F(ConfigHome, LengthLimitOf32Bytes) {
    const std::string exact(32, 'p');
    ASSERT_EQ(StorePasswordFile(exact.c_str()), 1);
    Output out;
    std::memset(out.bytes, 0x7A, sizeof out.bytes);
    ASSERT_EQ(LoadPasswordFile(out.bytes), 1);
    EXPECT_EQ(std::string(out.bytes, 32), exact);
    EXPECT_EQ(out.bytes[32], 0x7A) << "no terminator may be written past the 32 bytes";

    // 33 bytes are stored, but not loaded.
    const std::string over(33, 'q');
    ASSERT_EQ(StorePasswordFile(over.c_str()), 1);
    EXPECT_EQ(StoredValue().size(), 33u);
    Output none;
    EXPECT_EQ(LoadPasswordFile(none.bytes), 0);

    // Limits count bytes, not characters.
    const std::string wide =
        "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
        "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";  // 17 characters
    ASSERT_EQ(StorePasswordFile(wide.c_str()), 1);
    EXPECT_EQ(LoadPasswordFile(none.bytes), 0);
}

TEST_F(ConfigHome, MissingOrDamagedFileLoadsNothing) {
    Output out;
    EXPECT_EQ(LoadPasswordFile(out.bytes), 0);
    EXPECT_EQ(LoadPasswordFile(nullptr), 0);
    EXPECT_EQ(StorePasswordFile(nullptr), 0);

    ASSERT_EQ(StorePasswordFile("abc"), 1);
    for (const char* content :
         {"", "[SOFTWARE\\Talvorn\\OrvikConnect\\]\n",
          "[SOFTWARE\\Talvorn\\OrvikConnect\\]\nPassword=hex:abc\n",
          "[SOFTWARE\\Talvorn\\OrvikConnect\\]\nPassword=hex:zz\n",
          "[SOFTWARE\\Talvorn\\OrvikConnect\\]\nPassword=616263\n", "[Other]\nPassword=hex:616263\n"}) {
        SCOPED_TRACE(content);
        std::ofstream(CredentialsPath(), std::ios::trunc) << content;
        EXPECT_EQ(LoadPasswordFile(out.bytes), 0);
    }
}

TEST_F(ConfigHome, FailedStoreKeepsTheEarlierValue) {
    ASSERT_EQ(StorePasswordFile("earlier"), 1);
    const std::string before = FileText();

    // A store that cannot finish writing (the file size limit stops it part way; root ignores permissions).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(StorePasswordFile("later-and-longer-password"));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(FileText(), before);
    Output out;
    ASSERT_EQ(LoadPasswordFile(out.bytes), 1);
    EXPECT_STREQ(out.bytes, "earlier");
    size_t files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(CredentialsPath()).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u) << "the unfinished copy was left behind";
}

TEST_F(ConfigHome, ConfigFolderThatIsAFileFailsTheStore) {
    std::filesystem::create_directories(root_);
    std::ofstream(home_) << "not a folder";
    EXPECT_EQ(StorePasswordFile("x"), 0);
    Output out;
    EXPECT_EQ(LoadPasswordFile(out.bytes), 0);
}

}  // namespace
}  // namespace velmo::service
