// Connection profiles: one settings group per profile under "Profile", the default profile's name under
// "Setting", and for each profile a phonebook entry of the same name that dials through the modem.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace velmo::dialup {
class IDialupService;
}

namespace velmo::manager {

class CModemWrapper;

struct ProfileRecord {
    QString name;
    QString phoneNumber;
    QString userId;
    QString password;
    int32_t isDefault = 0;
    int32_t savePassword = 0;
    int32_t isPreset = 0;
};

// A profile name is a settings group and a phonebook file: no '/', '\\', leading '.', control characters,
// and not empty.
bool IsValidProfileName(const QString& name);

// What is wrong with a profile typed into the profile dialog, or nullptr when it can be kept: the name is
// checked first, then the number, then whether the name can become a settings group and a phonebook file.
// The text is in the core's translation context.
const char* ProfileEntryProblem(const QString& name, const QString& number);

inline constexpr const char* kPresetProfileName = "1xEvDO";
inline constexpr const char* kPresetPhoneNumber = "#777";
inline constexpr uint32_t kProfileEntryOptions = 0x1010;
inline constexpr const char* kDeviceNameFallback = "Brivanta";

class CProfiles {
  public:
    CProfiles(CModemWrapper& wrapper, dialup::IDialupService& dialup);

    bool Read(const QString& name, ProfileRecord* out);
    bool WriteNew(const ProfileRecord& record);
    bool Update(const ProfileRecord& record);
    bool Delete(const QString& name);
    bool CreateEntry(const ProfileRecord& record);
    bool DeleteEntry(const QString& name);
    bool SetDefault(const QString& name);
    QString DefaultName();
    // The profiles' names, in the store's order.
    QStringList Names();
    bool EntryCheck(const QString& name);
    bool RepairEntry(const QString& name);
    int CountModemDevices();
    // The dial-up device the entries use.
    QString DeviceName();
    // The preset "1xEvDO" / "#777" on the first start with a device. True when it was made now or earlier
    // (the settings are to be reloaded then); false when profile and entry were found in place.
    bool CreatePreset(bool force);

  private:
    CModemWrapper& wrapper_;
    dialup::IDialupService& dialup_;
};

}  // namespace velmo::manager
