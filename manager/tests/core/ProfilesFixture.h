// The profile store against the real dial-up service and the real library, both pointed at a phonebook in
// the test's own folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QSettings>
#include <memory>
#include <string>

#include "SettingsFixture.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/ModemLibrary.h"
#include "manager/core/Profiles.h"
#include "platform/dialup/DialupService.h"

namespace velmo::manager::test {

inline ProfileRecord Profile(const QString& name, const QString& number, const QString& user = {},
                             const QString& password = {}, int32_t savePassword = 1) {
    ProfileRecord r;
    r.name = name;
    r.phoneNumber = number;
    r.userId = user;
    r.password = password;
    r.savePassword = savePassword;
    return r;
}

class ProfileStoreTest : public ConfigFolderTest {
  protected:
    void SetUp() override {
        ConfigFolderTest::SetUp();
        // The library's own dial-up service reads these when the service object is created.
        setenv("VELMO_PHONEBOOK_DIR", (dir_ + "/phonebook").c_str(), 1);
        setenv("VELMO_DIALUP_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
        setenv("VELMO_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
        dialup::DialupOptions options;
        options.phonebookDir = dir_ + "/phonebook";
        options.runtimeDir = dir_ + "/run";
        options.useUdev = false;
        dialup_ = dialup::CreateDialupService(options);
        ASSERT_EQ(wrapper_.Bind({}, {ExecutableDirectory() + "/" + kModemLibraryName}), 0);
        profiles_ = std::make_unique<CProfiles>(wrapper_, *dialup_);
    }
    void TearDown() override {
        profiles_.reset();
        wrapper_.Unbind();
        dialup_.reset();
        unsetenv("VELMO_PHONEBOOK_DIR");
        unsetenv("VELMO_DIALUP_RUNTIME_DIR");
        unsetenv("VELMO_PORTS_DIR");
        ConfigFolderTest::TearDown();
    }

    bool EntryExists(const std::string& name) {
        return dialup_->ValidateEntryName({}, name) == dialup::kErrorAlreadyExists;
    }
    void AddEntry(const std::string& name, const std::string& device = "Brivanta",
                  const std::string& number = "1") {
        dialup::DialEntry e;
        e.name = name;
        e.phoneNumber = number;
        e.deviceType = dialup::kDeviceTypeModem;
        e.deviceName = device;
        ASSERT_EQ(dialup_->SetEntry({}, e), dialup::kErrorOk);
    }
    dialup::DialParams Params(const std::string& name) {
        dialup::DialParams p;
        EXPECT_EQ(dialup_->GetDialParams({}, name, p), dialup::kErrorOk);
        return p;
    }
    uint32_t SettingDword(const char* name) {
        return QSettings(SettingsFilePath(), QSettings::IniFormat).value(QString("Setting/") + name).toUInt();
    }
    void SetSettingDword(const char* name, uint32_t value) {
        RegistryKey("Setting", true).WriteDword(name, value);
    }

    std::unique_ptr<dialup::IDialupService> dialup_;
    CModemWrapper wrapper_;
    std::unique_ptr<CProfiles> profiles_;
};

}  // namespace velmo::manager::test
