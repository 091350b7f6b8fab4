#include "SettingsFlows.h"

#include <array>

#include "PrefMode.h"
#include "RegistryKey.h"
#include "Settings.h"
#include "Texts.h"
#include "wire/LeCursor.h"

namespace velmo::manager {

namespace {

constexpr size_t kSpcLength = 6;
constexpr uint8_t kHybridPreferenceOn = 1;

}  // namespace

settings::GeneralOptions CGeneralFlow::Load() const {
    RegistryKey key(kSettingKey, true);
    settings::GeneralOptions o;
    o.fixedPort = key.ReadDword(CSettings::kDisableAutoPort, 0) != 0;
    const uint32_t com = key.ReadDword(CSettings::kComPortNumber, 0);
    o.comIndex = com < static_cast<uint32_t>(settings::kComPorts) ? static_cast<int>(com) : -1;
    const DeviceContext& c = session_.Context();
    o.systemEntry = settings::SystemEntryFor(c.connectionState.load(), c.StatusCopy().NetworkKind);
    return o;
}

void CGeneralFlow::Message(const QString& text) {
    prompt_.Message(text, AppCaption(), PromptIcon::Exclamation);
}

void CGeneralFlow::OnPortOptionChanged() {
    Message(settings::RestartText());
}

settings::GeneralOptions CGeneralFlow::OnRestoreDefaults() {
    RegistryKey key(kSettingKey, true);
    key.WriteDword(CSettings::kDisableAutoPort, 0);
    key.WriteDword(CSettings::kComPortNumber, 0);
    key.WriteDword(CSettings::kPrefMode, prefmode::kBoth);
    Message(settings::RestartText());
    return {false, 0, prefmode::kBoth};
}

bool CGeneralFlow::OnApply(const settings::GeneralOptions& options) {
    if (options.fixedPort && options.comIndex < 0) {
        Message(Tr::tr("Wybierz port COM"));
        return false;
    }
    if (const std::optional<uint16_t> mode = prefmode::ModemForListEntry(options.systemEntry)) {
        session_.Paused([&] {
            CModemWrapper& w = session_.Wrapper();
            std::array<uint8_t, 2> value{};
            wire::Put16(value, 0, *mode);
            if (!w.WriteParameter(ParamCode::PrefMode, value.size(), value.data())) {
                return;
            }
            if (*mode == prefmode::kModemHybrid) {
                session_.Wait(kApplyStepMs);
                w.WriteParameter(ParamCode::HybridPreference, 1, &kHybridPreferenceOn);
            }
            session_.Wait(kApplyStepMs);
            w.SetOffline();
            session_.Wait(kApplyStepMs);
            w.SetOffline();
            session_.Wait(kApplyStepMs);
            w.ResetModem();
            session_.Wait(kApplyStepMs);
            // The worker closes the device itself once it runs again: the port is never closed under it.
            session_.Context().deviceResetRequested.store(true);
            session_.Wait(kApplyResetWaitMs);
        });
    }
    SaveOptions(options);
    return true;
}

void CGeneralFlow::SaveOptions(const settings::GeneralOptions& options) {
    RegistryKey key(kSettingKey, true);
    key.WriteDword(CSettings::kDisableAutoPort, options.fixedPort ? 1 : 0);
    key.WriteDword(CSettings::kComPortNumber,
                   static_cast<uint32_t>(options.comIndex < 0 ? 0 : options.comIndex));
    key.WriteDword(CSettings::kPrefMode, static_cast<uint32_t>(options.systemEntry));
}

bool CSpcGateFlow::OnAdvancedConfiguration() {
    DeviceContext& c = session_.Context();
    if (c.spcCheckNeeded.load() == 0) {
        return true;
    }
    QString spc;
    if (!prompt_.AskSpc(&spc) || spc.isEmpty()) {
        return false;
    }
    const std::string code = spc.left(kSpcLength).toStdString();
    bool accepted = false;
    session_.Paused([&] { accepted = session_.Wrapper().VerifySpc(code); });
    if (!accepted) {
        prompt_.Message(Tr::tr("Błędny kod SPC"), AppCaption(), PromptIcon::Stop);
        return false;
    }
    c.spcCheckNeeded.store(0);
    return true;
}

}  // namespace velmo::manager
