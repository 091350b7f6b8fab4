#include "Settings.h"

#include <QDir>
#include <algorithm>

#include "RegistryKey.h"

namespace velmo::manager {

void CSettings::ReadPortValues() {
    RegistryKey key(kSettingKey, true);
    loaded_.disableAutoPort = key.ReadDword(kDisableAutoPort, 0);
    loaded_.comPortNumber = key.ReadDword(kComPortNumber, 0);
    loaded_.prefMode = key.ReadDword(kPrefMode, 1);
}

void CSettings::Load() {
    RegistryKey key(kSettingKey, true);
    loaded_.currentPort = key.ReadDword(kCurrentPort, kLinkNone);
    loaded_.targetDir = key.ReadString(kTargetDir, QString());
    if (!loaded_.targetDir.isEmpty()) {
        QDir::setCurrent(loaded_.targetDir);
    }
    ReadPortValues();
    record_.automaticPort.store(loaded_.disableAutoPort == 0 ? 1 : 0);
    record_.configuredPort.store(static_cast<int32_t>(std::min(loaded_.comPortNumber, kMaxComPortNumber)) +
                                 1);
    record_.linkType.store(kLinkNone);
}

void CSettings::Reload() {
    ReadPortValues();
    record_.automaticPort.store(loaded_.disableAutoPort == 0 ? 1 : 0);
}

void CSettings::Save() {
    RegistryKey key(kSettingKey, true);
    key.WriteString(kTargetDir, QDir::currentPath().left(kMaxTargetDir));
}

uint32_t CSettings::ReadCurrentPort() {
    return RegistryKey(kSettingKey, true).ReadDword(kCurrentPort, kSearchDefaultCurrentPort);
}

void CSettings::WriteCurrentPort(uint32_t linkType) {
    RegistryKey(kSettingKey, true).WriteDword(kCurrentPort, linkType);
}

bool CSettings::SyncPrefMode(uint32_t entry) {
    RegistryKey key(kSettingKey, true);
    if (key.ReadDword(kPrefMode, kCompareDefaultPrefMode) == entry) {
        return false;
    }
    key.WriteDword(kPrefMode, entry);
    Reload();
    return true;
}

void CSettings::StoreFixedPort(uint32_t port) {
    RegistryKey key(kSettingKey, true);
    key.WriteDword(kDisableAutoPort, 1);
    key.WriteDword(kComPortNumber, port - 1);
    key.WriteDword(kCurrentPort, kLinkUsb);
}

}  // namespace velmo::manager
