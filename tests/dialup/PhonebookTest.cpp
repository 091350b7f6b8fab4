#include "platform/dialup/Phonebook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DialupFixture.h"

namespace velmo::dialup::test {
namespace {

class PhonebookTest : public DialupTest {
  protected:
    std::string Dir() const { return root_ + "/config/velmo/phonebook"; }
};

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_F(PhonebookTest, EntriesAreOwnerOnlyWhateverTheUmask) {
    const mode_t old = umask(0);
    Phonebook book(Dir());
    DialEntry e;
    e.name = "1xEvDO";
    e.phoneNumber = "#777";
    EXPECT_EQ(book.SetEntry(e), kErrorOk);
    DialParams p;
    p.entryName = e.name;
    p.password = "secret";
    EXPECT_EQ(book.SetParams(p, false), kErrorOk);
    umask(old);
    EXPECT_EQ(Mode(Dir()), 0700u);
    EXPECT_EQ(Mode(book.EntryPath("1xEvDO")), 0600u);
    // No temporary or lock file is readable by others either.
    for (const auto& f : std::filesystem::directory_iterator(Dir())) {
        EXPECT_EQ(Mode(f.path().string()) & 077, 0u) << f.path();
    }

    // A folder someone widened is narrowed again on the next write.
    chmod(Dir().c_str(), 0755);
    EXPECT_EQ(book.SetEntry(e), kErrorOk);
    EXPECT_EQ(Mode(Dir()), 0700u);
}

TEST_F(PhonebookTest, NamesAreValidatedLikeTheSystemDoes) {
    Phonebook book(Dir());
    for (const std::string& bad :
         {std::string(), std::string("a/b"), std::string("a\\b"), std::string(".hidden"),
          std::string("tab\there"), std::string("nl\n"), std::string("del\x7f"), std::string(257, 'x')}) {
        EXPECT_EQ(book.Validate(bad), kErrorInvalidName) << bad;
        DialEntry e;
        e.name = bad;
        EXPECT_EQ(book.SetEntry(e), kErrorInvalidName) << bad;
    }
    EXPECT_EQ(book.Validate(std::string(256, 'x')), kErrorOk);
    EXPECT_EQ(book.Validate("name.with.dots and spaces"), kErrorOk);
    EXPECT_FALSE(std::filesystem::exists(Dir() + "/.." + "/x"));
}

TEST_F(PhonebookTest, AnyValidNameAndValueSurvive) {
    Phonebook book(Dir());
    // Names that need encoding, the longest allowed, UTF-8, and two that differ only past the encoded prefix.
    const std::vector<std::string> names{"Połączenie #1 (ąę)",
                                         std::string(256, 'n'),
                                         std::string(200, '%') + "a",
                                         std::string(200, '%') + "b",
                                         "x=y:z",
                                         "%41"};
    for (const std::string& name : names) {
        DialEntry e;
        e.name = name;
        e.phoneNumber = "#777";
        e.deviceName = "Brivanta Modem 1\n# not a key";
        e.areaCode = "\\x41";
        e.options = 0x7D2C0218;
        e.idleDisconnectSeconds = -1;
        ASSERT_EQ(book.SetEntry(e), kErrorOk) << name;
        DialEntry back;
        ASSERT_EQ(book.Get(name, &back, nullptr), kErrorOk) << name;
        EXPECT_EQ(back.name, name);
        EXPECT_EQ(back.deviceName, e.deviceName);
        EXPECT_EQ(back.areaCode, e.areaCode);
        EXPECT_EQ(back.options, e.options);
        EXPECT_EQ(back.idleDisconnectSeconds, -1);
        EXPECT_EQ(book.Validate(name), kErrorAlreadyExists);
    }
    std::vector<std::string> listed;
    EXPECT_EQ(book.List(listed), kErrorOk);
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listed, sorted);
    EXPECT_EQ(book.Delete("%41"), kErrorOk);
    EXPECT_EQ(book.Delete("%41"), kErrorCannotFindEntry);
    EXPECT_EQ(book.Get("A", nullptr, nullptr), kErrorCannotFindEntry);
}

TEST_F(PhonebookTest, PropertiesAndDialParametersChangeIndependently) {
    Phonebook book(Dir());
    DialParams p;
    p.entryName = "E";
    p.userName = "user";
    p.password = "pass word";
    EXPECT_EQ(book.SetParams(p, false), kErrorCannotFindEntry);
    DialEntry e;
    e.name = "E";
    e.phoneNumber = "1";
    ASSERT_EQ(book.SetEntry(e), kErrorOk);
    ASSERT_EQ(book.SetParams(p, false), kErrorOk);
    e.phoneNumber = "2";
    ASSERT_EQ(book.SetEntry(e), kErrorOk);
    DialParams back;
    ASSERT_EQ(book.Get("E", nullptr, &back), kErrorOk);
    EXPECT_EQ(back.userName, "user");
    EXPECT_EQ(back.password, "pass word");
    EXPECT_TRUE(back.passwordSaved);

    // Removing the password keeps the user name and leaves no trace of the password in the file.
    ASSERT_EQ(book.SetParams(p, true), kErrorOk);
    ASSERT_EQ(book.Get("E", nullptr, &back), kErrorOk);
    EXPECT_EQ(back.userName, "user");
    EXPECT_EQ(back.password, "");
    EXPECT_FALSE(back.passwordSaved);
    std::ifstream in(book.EntryPath("E"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("pass word"), std::string::npos);
}

TEST_F(PhonebookTest, EmptyOrMissingFolderListsNothing) {
    Phonebook book(Dir());
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(book.List(names), kErrorOk);
    EXPECT_TRUE(names.empty());
    // Files that are not where their name puts them are strays, not entries.
    WriteFile(Dir() + "/other.entry", "name=elsewhere\n");
    WriteFile(Dir() + "/notes.txt", "name=notes\n");
    EXPECT_EQ(book.List(names), kErrorOk);
    EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace velmo::dialup::test
