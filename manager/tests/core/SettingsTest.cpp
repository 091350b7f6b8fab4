// The settings: what an empty store holds after start-up, the port number, reload, and "TargetDir".
#include <QDir>

#include "SettingsFixture.h"
#include "manager/core/Settings.h"

namespace velmo::manager::test {
namespace {

class SettingsTest : public ConfigFolderTest {
  protected:
    void SetUp() override {
        ConfigFolderTest::SetUp();
        cwd_ = QDir::currentPath();
    }
    void TearDown() override {
        QDir::setCurrent(cwd_);
        ConfigFolderTest::TearDown();
    }
    QString cwd_;
};

TEST_F(SettingsTest, AnEmptyStoreGetsEveryValueWithItsDefault) {
    CSettings s;
    s.Load();
    EXPECT_EQ(OnDisk("Setting/Current Port").toString(), "3");
    EXPECT_EQ(OnDisk("Setting/TargetDir").toString(), "");
    EXPECT_TRUE(OnDisk("Setting/TargetDir").isValid());
    EXPECT_EQ(OnDisk("Setting/Disable AutoPort").toString(), "0");
    EXPECT_EQ(OnDisk("Setting/COM Port Number").toString(), "0");
    EXPECT_EQ(OnDisk("Setting/Pref Mode").toString(), "1");
    EXPECT_EQ(s.Record().automaticPort, 1);
    EXPECT_EQ(s.Record().configuredPort, 1);
    EXPECT_EQ(s.Record().linkType, kLinkNone);
    EXPECT_EQ(QDir::currentPath(), cwd_);  // an empty "TargetDir" changes nothing
}

TEST_F(SettingsTest, FixedPortIsTheStoredNumberPlusOneWithinTheRange) {
    RegistryKey key(kSettingKey, true);
    key.WriteDword("COM Port Number", 4);
    key.WriteDword("Disable AutoPort", 1);
    CSettings s;
    s.Load();
    EXPECT_EQ(s.Record().automaticPort, 0);
    EXPECT_EQ(s.Record().configuredPort, 5);

    for (uint32_t stored : {254u, 255u, 0xFFFFFFFFu}) {
        key.WriteDword("COM Port Number", stored);
        CSettings big;
        big.Load();
        EXPECT_EQ(big.Record().configuredPort, 255) << stored;
    }
}

TEST_F(SettingsTest, ReloadTakesTheAutoPortFlagButNotThePortNumber) {
    RegistryKey key(kSettingKey, true);
    key.WriteDword("COM Port Number", 4);
    key.WriteDword("Disable AutoPort", 1);
    CSettings s;
    s.Load();
    s.Record().linkType = kLinkUsb;

    key.WriteDword("Disable AutoPort", 0);
    key.WriteDword("COM Port Number", 9);
    key.WriteDword("Pref Mode", 2);
    s.Reload();
    EXPECT_EQ(s.Record().automaticPort, 1);
    EXPECT_EQ(s.Record().configuredPort, 5);
    EXPECT_EQ(s.Record().linkType, kLinkUsb);
    EXPECT_EQ(s.Loaded().comPortNumber, 9u);
    EXPECT_EQ(s.Loaded().prefMode, 2u);

    CSettings restarted;
    restarted.Load();
    EXPECT_EQ(restarted.Record().configuredPort, 10);
}

TEST_F(SettingsTest, WrongTypesFallBackToDefaults) {
    RegistryKey key(kSettingKey, true);
    key.WriteString("Current Port", "USB");
    key.WriteString("COM Port Number", "-3");
    CSettings s;
    s.Load();
    EXPECT_EQ(s.Loaded().currentPort, 3u);
    EXPECT_EQ(s.Record().configuredPort, 1);
    EXPECT_EQ(OnDisk("Setting/Current Port").toString(), "3");
}

TEST_F(SettingsTest, TargetDirIsAppliedAtLoadAndWrittenAtSave) {
    const QString target = QString::fromStdString(dir_) + "/work";
    ASSERT_TRUE(QDir().mkpath(target));
    RegistryKey(kSettingKey, true).WriteString("TargetDir", target);
    CSettings s;
    s.Load();
    EXPECT_EQ(QDir::currentPath(), target);

    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir_)));
    s.Save();
    EXPECT_EQ(OnDisk("Setting/TargetDir").toString(), QString::fromStdString(dir_));
}

}  // namespace
}  // namespace velmo::manager::test
