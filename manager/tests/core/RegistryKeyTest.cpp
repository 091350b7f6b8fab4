// The registry-key helper over the INI file: defaults that create their value, the 0xDEF0 exception, values
// of the wrong type, subkeys, recursive delete, file modes and writers on two threads.
#include <sys/stat.h>

#include <QDir>
#include <thread>

#include "SettingsFixture.h"

namespace velmo::manager::test {
namespace {

using RegistryKeyTest = ConfigFolderTest;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(RegistryKeyTest, ReadWithDefaultCreatesTheValueUnlessTheDefaultIs0xDef0) {
    RegistryKey key("Setting", true);
    EXPECT_EQ(key.ReadDword("Missing", kNoCreateDefault), kNoCreateDefault);
    EXPECT_FALSE(OnDisk("Setting/Missing").isValid());
    EXPECT_EQ(key.ReadDword("Counter", 7), 7u);
    EXPECT_EQ(OnDisk("Setting/Counter").toString(), "7");
    EXPECT_EQ(key.ReadDword("Counter", 9), 7u);
    EXPECT_EQ(key.ReadString("Name", "abc"), "abc");
    EXPECT_EQ(OnDisk("Setting/Name").toString(), "abc");

    // Texts with commas and odd characters come back as they went in.
    ASSERT_TRUE(key.WriteString("Name", "a, b = ;c"));
    EXPECT_EQ(key.ReadString("Name", ""), "a, b = ;c");
    ASSERT_TRUE(key.WriteDword("Big", 0xFFFFFFFFu));
    EXPECT_EQ(key.ReadDword("Big", 1), 0xFFFFFFFFu);
}

TEST_F(RegistryKeyTest, AValueThatDoesNotParseAsItsTypeCountsAsMissing) {
    ASSERT_TRUE(PrepareSettingsFile());
    {
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Setting]\nNumber=twelve\nNegative=-1\nList=a, b\nFraction=1.5\n");
    }
    RegistryKey key("Setting", true);
    EXPECT_EQ(key.ReadDword("Number", 3), 3u);
    EXPECT_EQ(OnDisk("Setting/Number").toString(), "3");
    EXPECT_EQ(key.ReadDword("Negative", 4), 4u);
    EXPECT_EQ(key.ReadDword("Fraction", kNoCreateDefault), kNoCreateDefault);
    EXPECT_EQ(OnDisk("Setting/Fraction").toString(), "1.5");  // 0xDEF0 leaves even a bad value alone
    EXPECT_EQ(key.ReadString("List", "x"), "x");
    EXPECT_EQ(OnDisk("Setting/List").toString(), "x");
}

TEST_F(RegistryKeyTest, SubkeysEnumerateAndDeleteDepthFirst) {
    RegistryKey profiles("Profile", true);
    EXPECT_FALSE(RegistryKey("Profile/b", false).IsOpen());
    RegistryKey("Profile/b", true).WriteString("Phone Number", "#777");
    RegistryKey("Profile/b/inner", true).WriteDword("x", 1);
    RegistryKey("Profile/a", true).WriteDword("y", 2);
    EXPECT_TRUE(RegistryKey("Profile/b", false).IsOpen());

    QString name = "stale";
    ASSERT_TRUE(profiles.FirstSubkey(&name));
    EXPECT_EQ(name, "a");
    ASSERT_TRUE(profiles.NextSubkey(&name));
    EXPECT_EQ(name, "b");
    EXPECT_FALSE(profiles.NextSubkey(&name));
    EXPECT_TRUE(name.isEmpty());

    EXPECT_TRUE(profiles.SubkeyExists("b"));
    EXPECT_TRUE(profiles.DeleteSubkeyTree("b"));
    EXPECT_FALSE(profiles.SubkeyExists("b"));
    EXPECT_FALSE(OnDisk("Profile/b/inner/x").isValid());
    EXPECT_FALSE(profiles.DeleteSubkeyTree("b"));
    EXPECT_EQ(RegistryKey("Profile/a", false).ReadDword("y", 0), 2u);

    // A key that cannot be opened fails every call and writes nothing.
    RegistryKey absent("Nothing", false);
    EXPECT_FALSE(absent.IsOpen());
    EXPECT_EQ(absent.ReadDword("v", 5), 5u);
    EXPECT_FALSE(absent.WriteDword("v", 1));
    EXPECT_FALSE(OnDisk("Nothing/v").isValid());
}

TEST_F(RegistryKeyTest, FileIs0600InA0700Folder) {
    // Loose modes left by someone else are tightened, an existing file keeps its content.
    ASSERT_TRUE(QDir().mkpath(SettingsFolder()));
    chmod(QFile::encodeName(SettingsFolder()).constData(), 0755);
    {
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Setting]\nKept=1\n");
    }
    chmod(QFile::encodeName(SettingsFilePath()).constData(), 0644);
    RegistryKey key("Setting", true);
    ASSERT_TRUE(key.WriteString("Password", "secret"));
    EXPECT_EQ(ModeOf(SettingsFolder()), 0700u);
    EXPECT_EQ(ModeOf(SettingsFilePath()), 0600u);
    EXPECT_EQ(key.ReadDword("Kept", 0), 1u);
    // Qt saves through a new file and a rename: the mode must survive that too.
    ASSERT_TRUE(key.WriteString("Password", "other"));
    EXPECT_EQ(ModeOf(SettingsFilePath()), 0600u);
}

TEST_F(RegistryKeyTest, WritersOnTwoThreadsBothLand) {
    constexpr int kValues = 50;
    std::thread worker([] {
        RegistryKey key("Setting", true);
        for (int i = 0; i < kValues; ++i) {
            key.WriteDword(QString("worker %1").arg(i), static_cast<uint32_t>(i));
        }
    });
    RegistryKey key("Setting", true);
    for (int i = 0; i < kValues; ++i) {
        key.WriteDword(QString("window %1").arg(i), static_cast<uint32_t>(i));
    }
    worker.join();
    for (int i = 0; i < kValues; ++i) {
        EXPECT_EQ(OnDisk(QString("Setting/worker %1").arg(i)).toString(), QString::number(i));
        EXPECT_EQ(OnDisk(QString("Setting/window %1").arg(i)).toString(), QString::number(i));
    }
}

}  // namespace
}  // namespace velmo::manager::test
