// The profile store and its phonebook entries against the real dial-up service and the real library, both
// pointed at a phonebook in the test's own folder; refusals of the library come from a scripted interface.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QSettings>

#include "ProfilesFixture.h"
#include "StubModem.h"
#include "platform/Ports.h"

namespace velmo::manager::test {
namespace {

const QString kPreset = kPresetProfileName;

using ProfilesTest = ProfileStoreTest;

TEST_F(ProfilesTest, FirstStartCreatesTheDefaultPreset) {
    for (const char* old : {"1xRTT", "1xEvDO", "1xRTT(153.6kbps)", "1xEvDO(2.4Mbps)", "Mine"}) {
        AddEntry(old);
    }
    EXPECT_TRUE(profiles_->CreatePreset(false));

    EXPECT_EQ(SettingDword("PresetCreated"), 1u);
    EXPECT_FALSE(EntryExists("1xRTT"));
    EXPECT_FALSE(EntryExists("1xRTT(153.6kbps)"));
    EXPECT_FALSE(EntryExists("1xEvDO(2.4Mbps)"));
    EXPECT_TRUE(EntryExists("Mine"));

    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read(kPreset, &p));
    EXPECT_EQ(p.phoneNumber, "#777");
    EXPECT_EQ(p.userId, "");
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.isDefault, 1);
    EXPECT_EQ(p.savePassword, 1);
    EXPECT_EQ(p.isPreset, 0);
    EXPECT_EQ(profiles_->DefaultName(), kPreset);

    dialup::DialEntry e;
    ASSERT_EQ(dialup_->GetEntry({}, "1xEvDO", e), dialup::kErrorOk);
    EXPECT_EQ(e.phoneNumber, "#777");
    EXPECT_EQ(e.deviceType, "modem");
    EXPECT_EQ(e.deviceName, "Brivanta");
    EXPECT_EQ(e.countryId, 1u);
    EXPECT_EQ(e.countryCode, 1u);
    EXPECT_EQ(e.framingProtocol, 1u);
    EXPECT_EQ(e.networkProtocols, 4u);
    EXPECT_EQ(e.options & kProfileEntryOptions, kProfileEntryOptions);
    // The library's authentication edit ran on the entry.
    EXPECT_EQ(e.idleDisconnectSeconds, -1);
    EXPECT_TRUE(profiles_->EntryCheck(kPreset));
}

TEST_F(ProfilesTest, SecondStartTouchesNothing) {
    ASSERT_TRUE(profiles_->CreatePreset(false));
    AddEntry("1xRTT");
    ProfileRecord changed = Profile(kPreset, "#778");
    ASSERT_TRUE(profiles_->Update(changed));

    EXPECT_TRUE(profiles_->CreatePreset(false));
    EXPECT_TRUE(EntryExists("1xRTT"));
    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read(kPreset, &p));
    EXPECT_EQ(p.phoneNumber, "#778");
}

TEST_F(ProfilesTest, ResetFlagRebuildsThePresetOnceItsEntryIsGone) {
    ASSERT_TRUE(profiles_->CreatePreset(false));
    ASSERT_TRUE(profiles_->Update(Profile(kPreset, "#778")));
    SetSettingDword("PresetCreated", 0);

    // The library deletes "1xEvDO" among the old entries, so the profile is written afresh.
    EXPECT_TRUE(profiles_->CreatePreset(false));
    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read(kPreset, &p));
    EXPECT_EQ(p.phoneNumber, "#777");
    EXPECT_TRUE(EntryExists("1xEvDO"));
    EXPECT_EQ(SettingDword("PresetCreated"), 1u);

    // Forced, the flag does not stop it.
    ASSERT_TRUE(profiles_->Update(Profile(kPreset, "#779")));
    EXPECT_TRUE(profiles_->CreatePreset(true));
    ASSERT_TRUE(profiles_->Read(kPreset, &p));
    EXPECT_EQ(p.phoneNumber, "#777");
}

// Deletes nothing, so that the entry survives the clean-up of the old entries.
class KeepingModem : public StubModem {
  public:
    int32_t DeleteDialEntry(const char*) override { return deleteResult; }
    int32_t SetEntryAuthAny(const char*) override { return authResult; }
    int32_t deleteResult = kResultOk;
    int32_t authResult = kResultOk;
};

TEST_F(ProfilesTest, PresetInPlaceIsLeftAlone) {
    ASSERT_TRUE(profiles_->CreatePreset(false));
    ASSERT_TRUE(profiles_->Update(Profile(kPreset, "#778")));
    SetSettingDword("PresetCreated", 0);
    KeepingModem modem;
    wrapper_.Unbind();
    wrapper_.Attach(&modem);

    EXPECT_FALSE(profiles_->CreatePreset(false));
    EXPECT_EQ(SettingDword("PresetCreated"), 1u);
    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read(kPreset, &p));
    EXPECT_EQ(p.phoneNumber, "#778");
    wrapper_.Attach(nullptr);
}

TEST_F(ProfilesTest, LibraryRefusalsFailTheEntry) {
    KeepingModem modem;
    wrapper_.Unbind();
    wrapper_.Attach(&modem);
    const ProfileRecord r = Profile("Work", "*99#");

    modem.authResult = -1;
    EXPECT_FALSE(profiles_->CreateEntry(r));
    modem.authResult = kResultOk;
    EXPECT_TRUE(profiles_->CreateEntry(r));
    // The entry is there now and cannot be deleted first.
    modem.deleteResult = kResultDeleteEntryFailed;
    EXPECT_FALSE(profiles_->CreateEntry(r));
    wrapper_.Attach(nullptr);
}

TEST_F(ProfilesTest, UnsavedPasswordIsKeptNowhere) {
    const ProfileRecord r = Profile("Work", "*99#", "jan", "secret", 0);
    ASSERT_TRUE(profiles_->WriteNew(r));
    ASSERT_TRUE(profiles_->CreateEntry(r));

    EXPECT_EQ(QSettings(SettingsFilePath(), QSettings::IniFormat).value("Profile/Work/Password"),
              QVariant(""));
    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read("Work", &p));
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.savePassword, 0);
    const dialup::DialParams params = Params("Work");
    EXPECT_EQ(params.userName, "jan");
    EXPECT_FALSE(params.passwordSaved);
    EXPECT_EQ(params.password, "");
    EXPECT_TRUE(profiles_->EntryCheck("Work"));

    const ProfileRecord saved = Profile("Home", "*99#", "jan", "secret", 1);
    ASSERT_TRUE(profiles_->WriteNew(saved));
    ASSERT_TRUE(profiles_->CreateEntry(saved));
    EXPECT_TRUE(Params("Home").passwordSaved);
    EXPECT_EQ(Params("Home").password, "secret");
    ASSERT_TRUE(profiles_->Read("Home", &p));
    EXPECT_EQ(p.password, "secret");
}

TEST_F(ProfilesTest, RecordOperations) {
    const ProfileRecord r = Profile("Work", "*99#", "jan", "pw");
    EXPECT_FALSE(profiles_->Update(r));
    EXPECT_TRUE(profiles_->WriteNew(r));
    EXPECT_FALSE(profiles_->WriteNew(r));

    ProfileRecord changed = r;
    changed.userId = "ola";
    changed.isPreset = 1;
    EXPECT_TRUE(profiles_->Update(changed));
    ProfileRecord p;
    ASSERT_TRUE(profiles_->Read("Work", &p));
    EXPECT_EQ(p.name, "Work");
    EXPECT_EQ(p.userId, "ola");
    EXPECT_EQ(p.isPreset, 1);

    EXPECT_TRUE(profiles_->Delete("Work"));
    EXPECT_FALSE(profiles_->Read("Work", &p));
    EXPECT_TRUE(profiles_->Delete("Work"));  // nothing to delete
}

TEST_F(ProfilesTest, MissingValuesReadAsEmptyAndZero) {
    RegistryKey("Profile/Bare", true).WriteString("Phone Number", "5");
    ProfileRecord p;
    p.isDefault = 9;
    ASSERT_TRUE(profiles_->Read("Bare", &p));
    EXPECT_EQ(p.phoneNumber, "5");
    EXPECT_EQ(p.userId, "");
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.isDefault, 0);
    EXPECT_EQ(p.savePassword, 0);
}

TEST_F(ProfilesTest, SetDefaultMarksExactlyOneProfile) {
    EXPECT_FALSE(profiles_->SetDefault("Nowhere"));
    EXPECT_EQ(profiles_->DefaultName(), "Nowhere");

    ASSERT_TRUE(profiles_->WriteNew(Profile("A", "1")));
    ASSERT_TRUE(profiles_->WriteNew(Profile("B", "2")));
    EXPECT_TRUE(profiles_->SetDefault("B"));
    ProfileRecord a, b;
    ASSERT_TRUE(profiles_->Read("A", &a));
    ASSERT_TRUE(profiles_->Read("B", &b));
    EXPECT_EQ(a.isDefault, 0);
    EXPECT_EQ(b.isDefault, 1);
    EXPECT_TRUE(profiles_->SetDefault("A"));
    ASSERT_TRUE(profiles_->Read("A", &a));
    ASSERT_TRUE(profiles_->Read("B", &b));
    EXPECT_EQ(a.isDefault, 1);
    EXPECT_EQ(b.isDefault, 0);
    EXPECT_EQ(profiles_->DefaultName(), "A");
}

TEST_F(ProfilesTest, DeviceNamePrefersTheModemMarker) {
    EXPECT_EQ(profiles_->CountModemDevices(), 0);
    EXPECT_EQ(profiles_->DeviceName(), kDeviceNameFallback);

    const int other = platform::PublishModem("/dev/null", "Generic Modem");
    ASSERT_NE(other, 0);
    EXPECT_EQ(profiles_->CountModemDevices(), 1);
    // A modem without the marker is not taken.
    EXPECT_EQ(profiles_->DeviceName(), kDeviceNameFallback);

    ASSERT_NE(platform::PublishModem("/dev/null", "Brivanta USB Modem (interface 2)"), 0);
    EXPECT_EQ(profiles_->CountModemDevices(), 2);
    EXPECT_EQ(profiles_->DeviceName(), "Brivanta USB Modem (interface 2)");

    const ProfileRecord r = Profile("Work", "*99#");
    ASSERT_TRUE(profiles_->CreateEntry(r));
    dialup::DialEntry e;
    ASSERT_EQ(dialup_->GetEntry({}, "Work", e), dialup::kErrorOk);
    EXPECT_EQ(e.deviceName, "Brivanta USB Modem (interface 2)");
}

TEST_F(ProfilesTest, NamesThatLeaveTheirPlaceAreRefused) {
    for (const char* bad : {"", "a/b", "a\\b", ".hidden", "..", "tab\there", "line\nbreak", "del\x7f"}) {
        SCOPED_TRACE(bad);
        const QString name = QString::fromUtf8(bad);
        EXPECT_FALSE(IsValidProfileName(name));
        EXPECT_FALSE(profiles_->WriteNew(Profile(name, "1")));
        EXPECT_FALSE(profiles_->CreateEntry(Profile(name, "1")));
        EXPECT_FALSE(profiles_->SetDefault(name));
        EXPECT_FALSE(profiles_->Delete(name));
    }
    EXPECT_FALSE(IsValidProfileName(QString(256, 'x')));
    for (const char* good : {"1xEvDO(2.4Mbps)", "Mój profil", "a.b", "x"}) {
        EXPECT_TRUE(IsValidProfileName(QString::fromUtf8(good))) << good;
    }
    EXPECT_TRUE(IsValidProfileName(QString(255, 'x')));

    // An empty name must not take every profile with it.
    ASSERT_TRUE(profiles_->WriteNew(Profile("A", "1")));
    ASSERT_TRUE(profiles_->WriteNew(Profile("A.b", "1")));
    EXPECT_FALSE(profiles_->Delete(""));
    ProfileRecord p;
    EXPECT_TRUE(profiles_->Read("A", &p));
    EXPECT_TRUE(profiles_->Read("A.b", &p));
}

TEST_F(ProfilesTest, EntryCheckComparesDeviceAndCredentials) {
    EXPECT_FALSE(profiles_->EntryCheck("Work"));  // no entry

    AddEntry("Foreign", "Generic Modem");
    EXPECT_FALSE(profiles_->EntryCheck("Foreign"));
    AddEntry("Orphan");
    EXPECT_TRUE(profiles_->EntryCheck("Orphan"));  // no profile to compare with

    const ProfileRecord r = Profile("Work", "*99#", "jan", "pw");
    ASSERT_TRUE(profiles_->WriteNew(r));
    ASSERT_TRUE(profiles_->CreateEntry(r));
    EXPECT_TRUE(profiles_->EntryCheck("Work"));

    ProfileRecord number = r;
    number.phoneNumber = "#777";
    ProfileRecord user = r;
    user.userId = "ola";
    ProfileRecord password = r;
    password.password = "other";
    for (const ProfileRecord& changed : {number, user, password}) {
        ASSERT_TRUE(profiles_->Update(changed));
        EXPECT_FALSE(profiles_->EntryCheck("Work"));
        EXPECT_TRUE(profiles_->RepairEntry("Work"));
        EXPECT_TRUE(profiles_->EntryCheck("Work"));
    }
    EXPECT_EQ(Params("Work").password, "other");

    // Repair needs the profile.
    EXPECT_FALSE(profiles_->RepairEntry("Orphan"));
    EXPECT_TRUE(EntryExists("Orphan"));
}

TEST_F(ProfilesTest, DeleteEntryGoesThroughTheLibrary) {
    AddEntry("Work");
    EXPECT_TRUE(profiles_->DeleteEntry("Work"));
    EXPECT_FALSE(EntryExists("Work"));
    EXPECT_FALSE(profiles_->DeleteEntry("Work"));
    EXPECT_EQ(wrapper_.LastResult(), kResultDeleteEntryFailed);
}

}  // namespace
}  // namespace velmo::manager::test
