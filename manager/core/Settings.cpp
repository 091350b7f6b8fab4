#include "Settings.h"

#include <QDir>
#include <algorithm>

#include "RegistryKey.h"

namespace velmo::manager {

void CSettings::ReadPortValues() {
    RegistryKey key(kSettingKey, true);
    loaded_.disableAutoPort = key.ReadDword("Disable AutoPort", 0);
    loaded_.comPortNumber = key.ReadDword("COM Port Number", 0);
    loaded_.prefMode = key.ReadDword("Pref Mode", 1);
}

void CSettings::Load() {
    RegistryKey key(kSettingKey, true);
    loaded_.currentPort = key.ReadDword("Current Port", kLinkNone);
    loaded_.targetDir = key.ReadString("TargetDir", QString());
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
    key.WriteString("TargetDir", QDir::currentPath().left(kMaxTargetDir));
}

}  // namespace velmo::manager
