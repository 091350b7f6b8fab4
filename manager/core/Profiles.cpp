#include "Profiles.h"

#include <QLoggingCategory>
#include <QStringList>
#include <cstring>
#include <string>
#include <vector>

#include "CModemWrapper.h"
#include "RegistryKey.h"
#include "Settings.h"
#include "platform/dialup/DialupService.h"

namespace velmo::manager {

namespace {

Q_LOGGING_CATEGORY(lcProfiles, "velmo.manager.profiles", QtWarningMsg)

constexpr const char* kProfileKey = "Profile";
constexpr const char* kValuePhoneNumber = "Phone Number";
constexpr const char* kValueUserId = "User ID";
constexpr const char* kValuePassword = "Password";
constexpr const char* kValueIsDefault = "Is Default";
constexpr const char* kValueIsPreset = "Is Preset";
constexpr const char* kValueSavePassword = "Save Password";

constexpr const char* kModemType = "MODEM";
constexpr uint32_t kCountryUnitedStates = 1;
constexpr uint32_t kNetworkProtocolIp = 4;
constexpr uint32_t kFramingPpp = 1;

// Entries earlier versions created; the preset replaces them all.
constexpr const char* kOldPresetEntries[] = {"1xRTT", "1xEvDO", "1xRTT(153.6kbps)", "1xEvDO(2.4Mbps)"};

// The wrapper hands entry names to the library in a 256-byte field with its terminating zero.
constexpr int kMaxProfileNameBytes = static_cast<int>(sizeof(DialSettingsRecord::EntryName)) - 1;

QString ProfilePath(const QString& name) {
    return QString(kProfileKey) + '/' + name;
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// A fixed text field of a library record, never read past its end.
template <size_t N>
std::string Field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

bool IsModem(const dialup::DialDevice& device) {
    return QString::fromStdString(device.type).compare(kModemType, Qt::CaseInsensitive) == 0;
}

bool WriteValues(RegistryKey& key, const ProfileRecord& record) {
    bool ok = key.WriteString(kValuePhoneNumber, record.phoneNumber);
    ok = key.WriteString(kValueUserId, record.userId) && ok;
    ok = key.WriteDword(kValueSavePassword, static_cast<uint32_t>(record.savePassword)) && ok;
    ok = key.WriteString(kValuePassword, record.savePassword != 0 ? record.password : QString()) && ok;
    ok = key.WriteDword(kValueIsDefault, static_cast<uint32_t>(record.isDefault)) && ok;
    ok = key.WriteDword(kValueIsPreset, static_cast<uint32_t>(record.isPreset)) && ok;
    return ok;
}

}  // namespace

bool IsValidProfileName(const QString& name) {
    if (name.isEmpty() || name.startsWith('.') || name.toUtf8().size() > kMaxProfileNameBytes) {
        return false;
    }
    for (const QChar ch : name) {
        if (ch == '/' || ch == '\\' || ch.category() == QChar::Other_Control) {
            return false;
        }
    }
    return true;
}

const char* ProfileEntryProblem(const QString& name, const QString& number) {
    if (name.isEmpty()) {
        return QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wprowadź nazwę profilu!");
    }
    if (number.isEmpty()) {
        return QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wprowadź numer dostępowy!");
    }
    if (!IsValidProfileName(name)) {
        return QT_TRANSLATE_NOOP(
            "velmo::manager::Tr",
            "Nazwa profilu nie może zawierać znaków „/” ani „\\”, znaków sterujących ani "
            "zaczynać się od kropki!");
    }
    return nullptr;
}

CProfiles::CProfiles(CModemWrapper& wrapper, dialup::IDialupService& dialup)
    : wrapper_(wrapper), dialup_(dialup) {}

bool CProfiles::Read(const QString& name, ProfileRecord* out) {
    if (out == nullptr || !IsValidProfileName(name) || !RegistryKey(kProfileKey, false).SubkeyExists(name)) {
        return false;
    }
    RegistryKey key(ProfilePath(name), false);
    if (!key.IsOpen()) {
        return false;
    }
    ProfileRecord r;
    r.name = name;
    r.phoneNumber = key.ReadString(kValuePhoneNumber, QString());
    r.userId = key.ReadString(kValueUserId, QString());
    r.password = key.ReadString(kValuePassword, QString());
    r.isDefault = static_cast<int32_t>(key.ReadDword(kValueIsDefault, 0));
    r.savePassword = static_cast<int32_t>(key.ReadDword(kValueSavePassword, 0));
    r.isPreset = static_cast<int32_t>(key.ReadDword(kValueIsPreset, 0));
    *out = r;
    return true;
}

bool CProfiles::WriteNew(const ProfileRecord& record) {
    if (!IsValidProfileName(record.name) || RegistryKey(kProfileKey, false).SubkeyExists(record.name)) {
        return false;
    }
    RegistryKey key(ProfilePath(record.name), true);
    return WriteValues(key, record);
}

bool CProfiles::Update(const ProfileRecord& record) {
    if (!IsValidProfileName(record.name) || !RegistryKey(kProfileKey, false).SubkeyExists(record.name)) {
        return false;
    }
    RegistryKey key(ProfilePath(record.name), true);
    return WriteValues(key, record);
}

bool CProfiles::Delete(const QString& name) {
    // An empty or dotted name would reach beyond the one profile.
    if (!IsValidProfileName(name)) {
        return false;
    }
    RegistryKey profiles(kProfileKey, false);
    if (!profiles.SubkeyExists(name)) {
        return true;
    }
    return profiles.DeleteSubkeyTree(name);
}

bool CProfiles::CreateEntry(const ProfileRecord& record) {
    if (!IsValidProfileName(record.name)) {
        return false;
    }
    const std::string name = Utf8(record.name);
    if (dialup_.ValidateEntryName({}, name) == dialup::kErrorAlreadyExists &&
        !wrapper_.DeleteDialEntry(name)) {
        qCDebug(lcProfiles) << "cannot replace the phonebook entry" << record.name;
        return false;
    }

    dialup::DialEntry entry;
    entry.name = name;
    entry.phoneNumber = Utf8(record.phoneNumber);
    entry.deviceType = dialup::kDeviceTypeModem;
    entry.deviceName = Utf8(DeviceName());
    entry.options = kProfileEntryOptions;
    entry.countryId = kCountryUnitedStates;
    entry.countryCode = kCountryUnitedStates;
    entry.framingProtocol = kFramingPpp;
    entry.networkProtocols = kNetworkProtocolIp;
    if (const int result = dialup_.SetEntry({}, entry); result != dialup::kErrorOk) {
        qCDebug(lcProfiles) << "setting the phonebook entry" << record.name << "failed:" << result;
        return false;
    }

    dialup::DialParams params;
    params.entryName = name;
    params.userName = Utf8(record.userId);
    params.password = Utf8(record.password);
    if (const int result = dialup_.SetDialParams({}, params, record.savePassword == 0);
        result != dialup::kErrorOk) {
        qCDebug(lcProfiles) << "setting the dial parameters of" << record.name << "failed:" << result;
        return false;
    }
    return wrapper_.SetEntryOptions(name);
}

bool CProfiles::DeleteEntry(const QString& name) {
    return IsValidProfileName(name) && wrapper_.DeleteDialEntry(Utf8(name));
}

bool CProfiles::SetDefault(const QString& name) {
    if (!IsValidProfileName(name)) {
        return false;
    }
    RegistryKey(kSettingKey, true).WriteString(CSettings::kDefaultProfile, name);

    const QStringList names = Names();
    if (names.isEmpty()) {
        return false;
    }
    bool ok = true;
    for (const QString& profile : names) {
        RegistryKey key(ProfilePath(profile), true);
        ok = key.WriteDword(kValueIsDefault, profile == name ? 1 : 0) && ok;
    }
    return ok;
}

QString CProfiles::DefaultName() {
    return RegistryKey(kSettingKey, true).ReadString(CSettings::kDefaultProfile, QString());
}

QStringList CProfiles::Names() {
    RegistryKey profiles(kProfileKey, false);
    QStringList names;
    QString sub;
    for (bool more = profiles.FirstSubkey(&sub); more; more = profiles.NextSubkey(&sub)) {
        names.append(sub);
    }
    return names;
}

bool CProfiles::EntryCheck(const QString& name) {
    if (!IsValidProfileName(name)) {
        return false;
    }
    DialSettingsRecord settings{};
    if (!wrapper_.GetDialSettings(Utf8(name), &settings) ||
        Field(settings.DeviceName).find(kDeviceNameFallback) == std::string::npos) {
        return false;
    }
    ProfileRecord profile;
    if (!Read(name, &profile)) {
        return true;
    }
    return Field(settings.PhoneNumber) == Utf8(profile.phoneNumber) &&
           Field(settings.UserName) == Utf8(profile.userId) &&
           Field(settings.Password) == Utf8(profile.password);
}

bool CProfiles::RepairEntry(const QString& name) {
    ProfileRecord profile;
    if (!Read(name, &profile)) {
        return false;
    }
    DeleteEntry(name);
    return CreateEntry(profile);
}

int CProfiles::CountModemDevices() {
    std::vector<dialup::DialDevice> devices;
    if (dialup_.EnumDevices(devices) != dialup::kErrorOk) {
        return -1;
    }
    int count = 0;
    for (const dialup::DialDevice& d : devices) {
        count += IsModem(d) ? 1 : 0;
    }
    return count;
}

QString CProfiles::DeviceName() {
    std::vector<dialup::DialDevice> devices;
    if (dialup_.EnumDevices(devices) == dialup::kErrorOk) {
        for (const dialup::DialDevice& d : devices) {
            if (IsModem(d) && d.name.find(kDeviceNameFallback) != std::string::npos) {
                return QString::fromStdString(d.name);
            }
        }
    }
    return kDeviceNameFallback;
}

bool CProfiles::CreatePreset(bool force) {
    RegistryKey setting(kSettingKey, true);
    if (setting.ReadDword(CSettings::kPresetCreated, 0) == 1 && !force) {
        return true;
    }
    setting.WriteDword(CSettings::kPresetCreated, 1);

    for (const char* entry : kOldPresetEntries) {
        wrapper_.DeleteDialEntry(entry);
    }
    if (dialup_.ValidateEntryName({}, kPresetProfileName) == dialup::kErrorAlreadyExists &&
        RegistryKey(kProfileKey, false).SubkeyExists(kPresetProfileName)) {
        return false;
    }

    ProfileRecord preset;
    preset.name = kPresetProfileName;
    preset.phoneNumber = kPresetPhoneNumber;
    preset.isDefault = 1;
    preset.savePassword = 1;
    preset.isPreset = 0;
    Delete(preset.name);
    WriteNew(preset);
    if (!CreateEntry(preset)) {
        qCDebug(lcProfiles) << "the preset's phonebook entry could not be created";
    }
    SetDefault(preset.name);
    return true;
}

}  // namespace velmo::manager
