// An interface object whose every operation succeeds without a modem; tests override what they script.
#pragma once

#include "velmo/IOrvikModem.h"

namespace velmo::manager::test {

class StubModem : public IOrvikModem {
  public:
    int32_t GetLastResult() override { return kResultOk; }
    int32_t AbortWait() override { return kResultOk; }
    int32_t SetNotifyWindow(IModemNotifyTarget*) override { return kResultOk; }
    int32_t OpenSerialPort(int32_t, int32_t) override { return kResultOk; }
    int32_t OpenNetworkLink(int32_t) override { return kResultOk; }
    uint8_t ClosePort() override { return 0; }
    int32_t Reserved6(int32_t) override { return kResultOk; }
    int32_t Reserved7() override { return kResultOk; }
    int32_t Reserved8() override { return kResultOk; }
    int32_t Reserved9(int32_t) override { return kResultOk; }
    int32_t Reserved10(int32_t) override { return kResultOk; }
    int32_t Reserved11(int32_t) override { return kResultOk; }
    int32_t Reserved12(int32_t) override { return kResultOk; }
    int32_t Reserved13(int32_t) override { return kResultOk; }
    int32_t Reserved14(int32_t) override { return kResultOk; }
    int32_t Reserved15(int32_t) override { return kResultOk; }
    int32_t Reserved16(int32_t) override { return kResultOk; }
    int32_t Reserved17(int32_t) override { return kResultOk; }
    int32_t Reserved18(int32_t) override { return kResultOk; }
    int32_t Reserved19(int32_t) override { return kResultOk; }
    int32_t Reserved20(int32_t) override { return kResultOk; }
    int32_t Reserved21(int32_t) override { return kResultOk; }
    int32_t Reserved22(int32_t) override { return kResultOk; }
    int32_t Reserved23() override { return kResultOk; }
    int32_t ResetModem() override { return kResultOk; }
    int32_t GetModemTime(uint8_t*) override { return kResultOk; }
    int32_t QueryStatus(ModemStatusRecord*, int32_t) override { return kResultOk; }
    int32_t RequestStatus16() override { return kResultOk; }
    int32_t EnableEventReports() override { return kResultOk; }
    int32_t SetReportLevel(int32_t) override { return kResultOk; }
    int32_t Reserved30(int32_t) override { return kResultOk; }
    int32_t Reserved31(int32_t) override { return kResultOk; }
    int32_t Reserved32(int32_t) override { return kResultOk; }
    int32_t Reserved33(int32_t) override { return kResultOk; }
    int32_t Reserved34(int32_t) override { return kResultOk; }
    int32_t VerifySpc(const char*) override { return kResultOk; }
    int32_t ChangeSpc(const char*) override { return kResultOk; }
    int32_t WriteNamParameter(const NamParameterRecord*) override { return kResultOk; }
    int32_t ReadNamParameter(int32_t, uint8_t*) override { return kResultOk; }
    int32_t ReadNvItem(int32_t, uint8_t*) override { return kResultOk; }
    int32_t WriteNvItem(int32_t, const uint8_t*) override { return kResultOk; }
    int32_t QueryBlock34(uint8_t*) override { return kResultOk; }
    int32_t SendBlock32(const uint8_t*) override { return kResultOk; }
    int32_t DownloadPrl(const uint8_t*, int32_t) override { return kResultOk; }
    int32_t CreateDialEntry() override { return kResultOk; }
    int32_t Dial(DialStateCallback, const char*, const char*, const char*, const char*) override {
        return kResultOk;
    }
    int32_t HangUp(int32_t) override { return kResultOk; }
    int32_t SetConnectionParameters(const char*, const char*, const char*, const char*, const char*, int32_t,
                                    int32_t) override {
        return kResultOk;
    }
    int32_t DeleteDialEntry(const char*) override { return kResultOk; }
    int32_t GetConnectionStatistics(ConnectionStatistics*) override { return kResultOk; }
    int32_t ClearConnectionStatistics() override { return kResultOk; }
    int32_t GetDialSettings(DialSettingsRecord*) override { return kResultOk; }
    int32_t EnumDialEntries(uint8_t*) override { return kResultOk; }
    int32_t SetEntryAuthAny(const char*) override { return kResultOk; }
    int32_t SetEntryAuthAnyNoNbt(const char*) override { return kResultOk; }
    int32_t SetEntryAuthChap(const char*) override { return kResultOk; }
    int32_t SetEntryAuthPap(const char*) override { return kResultOk; }
    int32_t SetEntryAuthPapChap(const char*) override { return kResultOk; }
    int32_t StorePassword(const char*) override { return kResultOk; }
    int32_t LoadPassword(char*) override { return kResultOk; }
    int32_t Reserved60(int32_t) override { return kResultOk; }
    int32_t GetRfUpdateCount() override { return kResultOk; }
    uint8_t GetDrcIndex() override { return 0; }
    int16_t GetRfLevel4() override { return 0; }
    int16_t GetRfLevel1() override { return 0; }
    int16_t GetRfLevel2() override { return 0; }
    int16_t GetRfLevel3() override { return 0; }
    int16_t GetRfChannel() override { return 0; }
    void GetRfBlockA(uint8_t*) override {}
    void GetRfBlockB(uint8_t*) override {}
    void GetRfBlockC(uint8_t*) override {}
    int32_t GetLibraryVersion(const char**) override { return kResultOk; }
    int32_t GetDiscoveredAddress(char*) override { return kResultOk; }
    int32_t SendRequest60(const uint8_t*, int32_t, uint8_t*) override { return kResultOk; }
    int32_t SendRequest60Large(const uint8_t*, int32_t, uint8_t*) override { return kResultOk; }
    int32_t Reserved75() override { return kResultOk; }
    int32_t UploadUserDataFile() override { return kResultOk; }
    int32_t SetOfflineMode() override { return kResultOk; }
    void FormatTimeStamp(int32_t, char*) override {}
};

}  // namespace velmo::manager::test
