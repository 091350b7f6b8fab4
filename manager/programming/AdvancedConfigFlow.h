// What the advanced configuration window does with the modem: read all values or one row, read the SPC
// Change Enabled box, close and reopen the port, and back up and restore the service parameters. Runs on the
// screen-flow thread, one action at a time; each action takes the values the window shows and gives back what
// it should show next.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "AdvancedConfigModel.h"
#include "manager/core/ModemSession.h"
#include "manager/core/UserPrompt.h"

namespace velmo::manager::programming {

// The waits of this window, before or after each read and write.
inline constexpr uint32_t kSettleMs = 1000;

class CAdvancedConfigFlow {
  public:
    // linkType gives the link the worker last opened (the settings record's), for reopening the port.
    CAdvancedConfigFlow(const ModemSession& session, std::shared_ptr<IUserPrompt> prompt,
                        std::function<int32_t()> linkType);
    ~CAdvancedConfigFlow();
    CAdvancedConfigFlow(const CAdvancedConfigFlow&) = delete;
    CAdvancedConfigFlow& operator=(const CAdvancedConfigFlow&) = delete;

    // The window's first showing: everything is read unless no modem has been taken over yet.
    ConfigValues OnOpen(const ConfigValues& shown);
    ConfigValues OnRefresh(const ConfigValues& shown);
    // An "R" button of a row; "Error on read" when the row is then empty.
    ConfigValues OnRead(int row, const ConfigValues& shown);
    // "Read" of the SPC Change Enabled box.
    ConfigValues OnReadSpcChangeEnabled(const ConfigValues& shown);

    // A "W" button of a row; "Set" of the SPC Change Enabled box; the A-key's "Write". The first change of a
    // session (one device found, one ESN) waits for a backup of the parameters.
    ConfigValues OnWrite(int row, const ConfigValues& shown);
    ConfigValues OnSetSpcChangeEnabled(const ConfigValues& shown);
    void OnWriteAKey(const QString& akey);
    // "Unlock" and "Change SPC" with the SPC edit's text.
    void OnUnlock(const QString& spc);
    void OnChangeSpc(const QString& spc);
    // "PRL File": the chosen file, nothing when cancelled. "PRL Download": checks the file and downloads it
    // with progress (blocks sent, blocks in all; called on this flow's thread). The PRL version read back
    // afterwards, when the download went through.
    std::optional<QString> OnPrlFile();
    std::optional<uint16_t> OnPrlDownload(const QString& path, const std::function<void(int, int)>& progress);

    // "Close Port": the worker stays paused and the port closed until "Open Port" (or the window goes).
    void OnClosePort();
    // "Open Port": reopens the link, lets the worker go on and asks for the SPC again, because the modem
    // forgets its unlock with the port. True when the gate passed.
    bool OnOpenPort();
    // The window is gone: a port it closed is opened again without asking for the SPC.
    void OnWindowClosed();
    bool PortClosed() const { return portClosed_.load(); }

    // "Backup…": reads every stored parameter and saves it in the backup folder; says where.
    void OnBackup();
    // "Restore…": a backup chosen by the user, listed for a confirmation, written back and read back.
    void OnRestore();

  private:
    std::optional<std::vector<uint8_t>> Read(ParamCode code);
    void ReadRow(int row, ConfigValues& values);
    void ReadAll(ConfigValues& values);
    bool Reopen();
    bool WritesAllowed() const;
    // Backs the parameters up unless that was done for this modem; false (with a message) when it failed.
    bool BackupFirst();
    // Runs the writes inside the pause; the index of the first that failed, or -1.
    int Write(const std::vector<ParameterWrite>& writes);
    void Say(const QString& text, PromptIcon icon = PromptIcon::Stop);

    ModemSession session_;
    std::shared_ptr<IUserPrompt> prompt_;
    std::function<int32_t()> linkType_;
    // The pause "Close Port" holds; flow thread only.
    std::unique_ptr<WorkerPause> portHold_;
    std::atomic<bool> portClosed_{false};
    // The worker's device search whose modem has been backed up; flow thread only.
    std::optional<uint32_t> backedUpSearch_;
};

}  // namespace velmo::manager::programming
