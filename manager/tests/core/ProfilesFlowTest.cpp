// The profiles pane's buttons as a flow on the real profile store and phonebook: what reaches the store and
// the entries, what the user is told, and where the default profile ends up.
#include <gtest/gtest.h>

#include <vector>

#include "ProfilesFixture.h"
#include "Recorders.h"
#include "manager/core/ProfilesFlow.h"
#include "manager/core/Settings.h"

namespace velmo::manager::test {
namespace {

// Keeps what each profile dialog started with.
class ProfilePrompt : public RecordingPrompt {
  public:
    bool AskProfile(const QString& title, ProfileRecord* record) override {
        shown.push_back(*record);
        return RecordingPrompt::AskProfile(title, record);
    }
    std::vector<ProfileRecord> shown;
};

class ProfilesFlowTest : public ProfileStoreTest {
  protected:
    CProfilesFlow Flow() {
        return CProfilesFlow(ModemSession(wrapper_, context_, clock_), prompt_, *profiles_);
    }
    void Store(const ProfileRecord& r) {
        ASSERT_TRUE(profiles_->WriteNew(r));
        ASSERT_TRUE(profiles_->CreateEntry(r));
    }
    std::string EntryNumber(const std::string& name) {
        dialup::DialEntry e;
        EXPECT_EQ(dialup_->GetEntry({}, name, e), dialup::kErrorOk);
        return e.phoneNumber;
    }
    ProfileRecord Stored(const QString& name) {
        ProfileRecord r;
        EXPECT_TRUE(profiles_->Read(name, &r)) << name.toStdString();
        return r;
    }

    DeviceContext context_;
    platform::FakeClock clock_;
    ProfilePrompt prompt_;
};

TEST_F(ProfilesFlowTest, AddWritesProfileAndEntryOnce) {
    prompt_.profiles.push_back(Profile("Work", "*99#", "jan", "pw", 0));
    Flow().OnAdd();

    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].name, "");
    EXPECT_EQ(prompt_.Records().back().caption, " Dodaj profil");
    const ProfileRecord r = Stored("Work");
    EXPECT_EQ(r.phoneNumber, "*99#");
    EXPECT_EQ(r.userId, "jan");
    EXPECT_EQ(r.isDefault, 0);
    EXPECT_EQ(r.isPreset, 0);
    EXPECT_EQ(EntryNumber("Work"), "*99#");
    EXPECT_EQ(Params("Work").userName, "jan");
    EXPECT_FALSE(Params("Work").passwordSaved);
    EXPECT_TRUE(prompt_.Messages().empty());

    // The same name again: refused with the dialog's caption, nothing rewritten.
    prompt_.profiles.push_back(Profile("Work", "#777", "ola"));
    Flow().OnAdd();
    EXPECT_EQ(prompt_.Messages(),
              std::vector<PromptRecord>({Msg("Taki profil już istnieje! Użyj funkcji Edytuj.",
                                             " Dodaj profil", PromptIcon::Exclamation)}));
    EXPECT_EQ(Stored("Work").phoneNumber, "*99#");
    EXPECT_EQ(EntryNumber("Work"), "*99#");

    // Cancelled: nothing written.
    Flow().OnAdd();
    EXPECT_EQ(Flow().Rows(), std::vector<ProfileRow>({{"Work", "*99#", false}}));
}

TEST_F(ProfilesFlowTest, EditInPlaceKeepsFlagsAndRebuildsTheEntry) {
    ProfileRecord work = Profile("Work", "*99#", "jan", "pw", 1);
    work.isPreset = 1;
    Store(work);
    ASSERT_TRUE(profiles_->SetDefault("Work"));

    ProfileRecord typed = Profile("Work", "*98#", "ola", "typed", 0);
    prompt_.profiles.push_back(typed);
    Flow().OnEdit("Work");

    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].name, "Work");
    EXPECT_EQ(prompt_.shown[0].phoneNumber, "*99#");
    EXPECT_EQ(prompt_.shown[0].userId, "jan");
    EXPECT_EQ(prompt_.shown[0].savePassword, 1);
    EXPECT_EQ(prompt_.shown[0].password, "pw");
    EXPECT_EQ(prompt_.Records().back().caption, " Edytuj profil");

    const ProfileRecord r = Stored("Work");
    EXPECT_EQ(r.phoneNumber, "*98#");
    EXPECT_EQ(r.userId, "ola");
    EXPECT_EQ(r.password, "");
    EXPECT_EQ(r.savePassword, 0);
    EXPECT_EQ(r.isDefault, 1);
    EXPECT_EQ(r.isPreset, 1);
    EXPECT_EQ(EntryNumber("Work"), "*98#");
    EXPECT_EQ(Params("Work").userName, "ola");
    EXPECT_EQ(Params("Work").password, "");
    EXPECT_TRUE(prompt_.Messages().empty());

    // A profile that is gone opens no dialog.
    Flow().OnEdit("Nowhere");
    EXPECT_EQ(prompt_.shown.size(), 1u);
}

TEST_F(ProfilesFlowTest, RenameRefusesATakenNameAndCarriesTheDefault) {
    Store(Profile("A", "1"));
    Store(Profile("B", "2"));
    ASSERT_TRUE(profiles_->SetDefault("A"));

    prompt_.profiles.push_back(Profile("B", "3"));
    Flow().OnEdit("A");
    EXPECT_EQ(
        prompt_.Messages(),
        std::vector<PromptRecord>({Msg("Profil już istnieje!", " Edytuj profil", PromptIcon::Exclamation)}));
    EXPECT_EQ(Stored("A").phoneNumber, "1");
    EXPECT_EQ(Stored("B").phoneNumber, "2");
    EXPECT_TRUE(EntryExists("A"));

    prompt_.profiles.push_back(Profile("C", "3"));
    Flow().OnEdit("A");
    ProfileRecord gone;
    EXPECT_FALSE(profiles_->Read("A", &gone) || EntryExists("A"));
    EXPECT_EQ(EntryNumber("C"), "3");
    EXPECT_EQ(profiles_->DefaultName(), "C");
    EXPECT_EQ(Stored("C").isDefault, 1);
    EXPECT_EQ(Flow().Rows(), std::vector<ProfileRow>({{"B", "2", false}, {"C", "3", true}}));
}

TEST_F(ProfilesFlowTest, ActivateAndDeleteMoveTheDefault) {
    Store(Profile("A", "1"));
    Store(Profile("B", "2"));
    Flow().OnActivate({"", "B"});
    EXPECT_EQ(profiles_->DefaultName(), "B");
    EXPECT_EQ(Flow().Rows(), std::vector<ProfileRow>({{"A", "1", false}, {"B", "2", true}}));

    Flow().OnDelete("A");
    EXPECT_EQ(profiles_->DefaultName(), "B");
    Flow().OnDelete("B");
    EXPECT_EQ(profiles_->DefaultName(), "");
    EXPECT_FALSE(EntryExists("A") || EntryExists("B"));
    EXPECT_TRUE(Flow().Rows().empty());
    EXPECT_TRUE(prompt_.Records().empty());
}

TEST_F(ProfilesFlowTest, PresetProfileNeedsTheDeviceAndResetsThePortOptions) {
    SetSettingDword(CSettings::kDisableAutoPort, 1);
    SetSettingDword(CSettings::kComPortNumber, 5);
    context_.connectionState.store(kConnDeviceFound);
    const PresetOutcome none = Flow().OnPresetProfile();
    EXPECT_FALSE(none.restored || none.reloadSettings);
    EXPECT_EQ(
        prompt_.Messages(),
        std::vector<PromptRecord>({Msg("Urządzenie niedostępne!", "VelmoManager", PromptIcon::Exclamation)}));
    EXPECT_TRUE(Flow().Rows().empty());
    EXPECT_EQ(SettingDword(CSettings::kDisableAutoPort), 1u);

    prompt_.Clear();
    Store(Profile(kPresetProfileName, "#779"));
    context_.connectionState.store(kConnReady);
    const PresetOutcome done = Flow().OnPresetProfile();
    EXPECT_TRUE(done.restored);
    EXPECT_TRUE(done.reloadSettings);
    EXPECT_EQ(Flow().Rows(), std::vector<ProfileRow>({{kPresetProfileName, "#777", true}}));
    EXPECT_EQ(EntryNumber(kPresetProfileName), "#777");
    EXPECT_EQ(SettingDword(CSettings::kDisableAutoPort), 0u);
    EXPECT_EQ(SettingDword(CSettings::kComPortNumber), 0u);
    EXPECT_TRUE(prompt_.Messages().empty());
}

}  // namespace
}  // namespace velmo::manager::test
