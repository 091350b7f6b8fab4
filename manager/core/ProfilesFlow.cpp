#include "ProfilesFlow.h"

#include "RegistryKey.h"
#include "Settings.h"
#include "Texts.h"

namespace velmo::manager {

namespace {

constexpr char kAddCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", " Dodaj profil");
constexpr char kEditCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", " Edytuj profil");

}  // namespace

void CProfilesFlow::Message(const QString& text, const QString& caption) {
    prompt_.Message(text, caption, PromptIcon::Exclamation);
}

std::vector<ProfileRow> CProfilesFlow::Rows() {
    const QString defaultName = profiles_.DefaultName();
    std::vector<ProfileRow> rows;
    for (const QString& name : profiles_.Names()) {
        ProfileRecord record;
        // A group whose name the store refuses is still listed, so that it can be deleted.
        const QString number = profiles_.Read(name, &record) ? record.phoneNumber : QString();
        rows.push_back({name, number, name == defaultName});
    }
    return rows;
}

void CProfilesFlow::OnAdd() {
    ProfileRecord typed;
    if (!prompt_.AskProfile(Tr::tr(kAddCaption), &typed)) {
        return;
    }
    ProfileRecord record;
    record.name = typed.name;
    record.phoneNumber = typed.phoneNumber;
    record.userId = typed.userId;
    record.password = typed.password;
    record.savePassword = typed.savePassword;
    if (!profiles_.WriteNew(record)) {
        Message(Tr::tr("Taki profil już istnieje! Użyj funkcji Edytuj."), Tr::tr(kAddCaption));
        return;
    }
    profiles_.CreateEntry(record);
}

void CProfilesFlow::OnDelete(const QString& name) {
    if (name.isEmpty()) {
        return;
    }
    // A connect then names the missing default instead of dialling a profile that is gone.
    if (name == profiles_.DefaultName()) {
        RegistryKey(kSettingKey, true).WriteString(CSettings::kDefaultProfile, QString());
    }
    profiles_.Delete(name);
    profiles_.DeleteEntry(name);
}

void CProfilesFlow::OnEdit(const QString& name) {
    ProfileRecord stored;
    if (name.isEmpty() || !profiles_.Read(name, &stored)) {
        return;
    }
    ProfileRecord shown;
    shown.name = stored.name;
    shown.phoneNumber = stored.phoneNumber;
    shown.userId = stored.userId;
    shown.savePassword = stored.savePassword;
    if (stored.savePassword != 0) {
        shown.password = stored.password;
    }
    if (!prompt_.AskProfile(Tr::tr(kEditCaption), &shown)) {
        return;
    }
    ProfileRecord record = shown;
    if (record.savePassword == 0) {
        record.password.clear();
    }
    record.isDefault = stored.isDefault;
    record.isPreset = stored.isPreset;

    if (record.name == stored.name) {
        profiles_.Update(record);
        profiles_.DeleteEntry(record.name);
        profiles_.CreateEntry(record);
        return;
    }
    if (!profiles_.WriteNew(record)) {
        Message(Tr::tr("Profil już istnieje!"), Tr::tr(kEditCaption));
        return;
    }
    profiles_.CreateEntry(record);
    const bool wasDefault = stored.name == profiles_.DefaultName();
    profiles_.Delete(stored.name);
    profiles_.DeleteEntry(stored.name);
    // A renamed default stays the default rather than leaving a name that no profile has.
    if (wasDefault) {
        profiles_.SetDefault(record.name);
    }
}

void CProfilesFlow::OnActivate(const QStringList& names) {
    for (const QString& name : names) {
        if (!name.isEmpty()) {
            profiles_.SetDefault(name);
        }
    }
}

PresetOutcome CProfilesFlow::OnPresetProfile() {
    if (session_.NoModem()) {
        Message(Tr::tr("Urządzenie niedostępne!"), AppCaption());
        return {};
    }
    PresetOutcome outcome;
    outcome.restored = true;
    outcome.reloadSettings = profiles_.CreatePreset(true);
    // The preset dials through the modem found automatically, so the port options go back to that; the
    // general pane shows and saves the same.
    RegistryKey key(kSettingKey, true);
    key.WriteDword(CSettings::kDisableAutoPort, 0);
    key.WriteDword(CSettings::kComPortNumber, 0);
    return outcome;
}

}  // namespace velmo::manager
