// The service object behind IOrvikModem.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "RasDialer.h"
#include "library/protocol/Engine.h"
#include "library/protocol/Notifications.h"
#include "library/transport/CComm.h"
#include "library/transport/NetLink.h"
#include "velmo/IOrvikModem.h"

namespace velmo::service {

inline constexpr const char* kLibraryVersion = "1.1.1.7";

class ModemService final : public IOrvikModem {
  public:
    explicit ModemService(platform::IClock& clock = platform::RealClock());
    ~ModemService() override;

    int32_t GetLastResult() override { return lastResult_.load(); }
    int32_t AbortWait() override;
    int32_t SetNotifyWindow(IModemNotifyTarget* target) override;
    int32_t OpenSerialPort(int32_t port, int32_t baudRate) override;
    int32_t OpenNetworkLink(int32_t unused) override;
    uint8_t ClosePort() override;
    int32_t Reserved6(int32_t) override { return 0; }
    int32_t Reserved7() override { return 0; }
    int32_t Reserved8() override { return 0; }
    int32_t Reserved9(int32_t) override { return 0; }
    int32_t Reserved10(int32_t) override { return 0; }
    int32_t Reserved11(int32_t) override { return 0; }
    int32_t Reserved12(int32_t) override { return 0; }
    int32_t Reserved13(int32_t) override { return 0; }
    int32_t Reserved14(int32_t) override { return 0; }
    int32_t Reserved15(int32_t) override { return 0; }
    int32_t Reserved16(int32_t) override { return 0; }
    int32_t Reserved17(int32_t) override { return 0; }
    int32_t Reserved18(int32_t) override { return 0; }
    int32_t Reserved19(int32_t) override { return 0; }
    int32_t Reserved20(int32_t) override { return 0; }
    int32_t Reserved21(int32_t) override { return 0; }
    int32_t Reserved22(int32_t) override { return 0; }
    int32_t Reserved23() override { return 0; }
    int32_t ResetModem() override;
    int32_t GetModemTime(uint8_t* out25) override;
    int32_t QueryStatus(ModemStatusRecord* record, int32_t kind) override;
    int32_t RequestStatus16() override;
    int32_t EnableEventReports() override;
    int32_t SetReportLevel(int32_t level) override;
    int32_t Reserved30(int32_t) override { return 0; }
    int32_t Reserved31(int32_t) override { return 0; }
    int32_t Reserved32(int32_t) override { return 0; }
    int32_t Reserved33(int32_t) override { return 0; }
    int32_t Reserved34(int32_t) override { return 0; }
    int32_t VerifySpc(const char* spc6) override;
    int32_t ChangeSpc(const char* spc6) override;
    int32_t WriteNamParameter(const NamParameterRecord* record) override;
    int32_t ReadNamParameter(int32_t code, uint8_t* out131) override;
    int32_t ReadNvItem(int32_t item, uint8_t* buffer128) override;
    int32_t WriteNvItem(int32_t item, const uint8_t* data128) override;
    int32_t QueryBlock34(uint8_t* out107) override;
    int32_t SendBlock32(const uint8_t* body) override;
    int32_t DownloadPrl(const uint8_t* prl, int32_t length) override;
    int32_t CreateDialEntry() override;
    int32_t Dial(DialStateCallback callback, const char* entryName, const char* phoneNumber,
                 const char* userName, const char* password) override;
    int32_t HangUp(int32_t unused) override;
    int32_t SetConnectionParameters(const char* entryName, const char* phoneNumber, const char* userName,
                                    const char* password, const char* areaCode, int32_t useAreaCode,
                                    int32_t savePassword) override;
    int32_t DeleteDialEntry(const char* entryName) override;
    int32_t GetConnectionStatistics(ConnectionStatistics* out) override;
    int32_t ClearConnectionStatistics() override;
    int32_t GetDialSettings(DialSettingsRecord* record) override;
    int32_t EnumDialEntries(uint8_t* list) override;
    int32_t SetEntryAuthAny(const char* entryName) override;
    int32_t SetEntryAuthAnyNoNbt(const char* entryName) override;
    int32_t SetEntryAuthChap(const char* entryName) override;
    int32_t SetEntryAuthPap(const char* entryName) override;
    int32_t SetEntryAuthPapChap(const char* entryName) override;
    int32_t StorePassword(const char* password) override;
    int32_t LoadPassword(char* out32) override;
    int32_t Reserved60(int32_t) override { return kResultFailed; }
    int32_t GetRfUpdateCount() override;
    uint8_t GetDrcIndex() override;
    int16_t GetRfLevel4() override;
    int16_t GetRfLevel1() override;
    int16_t GetRfLevel2() override;
    int16_t GetRfLevel3() override;
    int16_t GetRfChannel() override;
    void GetRfBlockA(uint8_t* out14) override;
    void GetRfBlockB(uint8_t* out14) override;
    void GetRfBlockC(uint8_t* out82) override;
    int32_t GetLibraryVersion(const char** out) override;
    int32_t GetDiscoveredAddress(char* out256) override;
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) override;
    int32_t SendRequest60Large(const uint8_t* request, int32_t count, uint8_t* out1086) override;
    int32_t Reserved75() override { return kResultFailed; }
    int32_t UploadUserDataFile() override;
    int32_t SetOfflineMode() override;
    void FormatTimeStamp(int32_t seconds, char* out18) override;

    // For diagnostics and tests: the engine and transport behind the interface.
    protocol::Engine* Engine() { return engine_.get(); }
    transport::CComm* Comm() { return comm_.get(); }
    transport::NetLink* Net() { return net_.get(); }
    protocol::Notifier& Notifications() { return notifier_; }

  private:
    // Closes whichever transport is open and forgets a partly received frame.
    void CloseTransports();
    // Fills the request buffer with zeros and the code.
    uint8_t* Request(uint8_t code);
    // One NV read or write: returns the reply's item status, or 0xFFFF without a complete reply. itemOut gets
    // the item's data (unpacked when the item has a decoder, else the reply's own bytes).
    int32_t NvTransaction(uint8_t code, uint16_t item, const uint8_t* data, size_t dataSize,
                          uint8_t* itemOut);
    int32_t SendRequest60Common(const uint8_t* request, int32_t count, uint8_t* out, size_t outSize);

    std::unique_ptr<RasDialer> dialer_;
    std::string deviceName_;
    std::string entryName_;
    std::string phoneNumber_;
    std::string userName_;
    std::string password_;
    std::string areaCode_;
    int32_t useAreaCode_ = 0;
    int32_t savePassword_ = 0;
    transport::CommSettings serialSettings_;
    std::atomic<int32_t> lastResult_{0};
    protocol::Notifier notifier_;
    std::unique_ptr<protocol::Engine> engine_;
    std::unique_ptr<transport::CComm> comm_;
    std::unique_ptr<transport::NetLink> net_;
    std::array<uint8_t, protocol::kLogBlockSize> logCopy_{};
};

}  // namespace velmo::service
