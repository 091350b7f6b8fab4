// The manager's settings: the values under "Setting" and the process-wide record the wrapper and the state
// machine read.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>

namespace velmo::manager {

inline constexpr const char* kSettingKey = "Setting";

enum LinkType : int32_t { kLinkEthernet = 0, kLinkUsb = 1, kLinkNone = 3 };

// Ports are 1..255, so the stored number (port - 1) is kept at or below this before the + 1.
inline constexpr uint32_t kMaxComPortNumber = 254;
// GetCurrentDirectory's bound: a longer directory is cut.
inline constexpr int kMaxTargetDir = 260;

struct SettingsRecord {
    std::atomic<int32_t> automaticPort{0};
    std::atomic<int32_t> configuredPort{0};
    std::atomic<int32_t> linkType{kLinkNone};
};

struct LoadedSettings {
    uint32_t currentPort = kLinkNone;
    QString targetDir;
    uint32_t disableAutoPort = 0;
    uint32_t comPortNumber = 0;
    uint32_t prefMode = 1;
};

class CSettings {
  public:
    // Names of the values under "Setting".
    static constexpr char kCurrentPort[] = "Current Port";
    static constexpr char kTargetDir[] = "TargetDir";
    static constexpr char kDisableAutoPort[] = "Disable AutoPort";
    static constexpr char kComPortNumber[] = "COM Port Number";
    static constexpr char kPrefMode[] = "Pref Mode";
    static constexpr char kDefaultProfile[] = "Default Profile";
    static constexpr char kPresetCreated[] = "PresetCreated";

    // Defaults where a reader differs from the loaded settings: the device search reads "Current Port" with 3
    // (none), the preferred-mode comparison reads "Pref Mode" with 3.
    static constexpr uint32_t kSearchDefaultCurrentPort = kLinkNone;
    static constexpr uint32_t kCompareDefaultPrefMode = 3;

    // Reads every value (creating the missing ones), applies "TargetDir" and builds the record.
    void Load();
    // Reads the three port values again; only the automatic-detection flag reaches the record, a new
    // "COM Port Number" waits for the next start.
    void Reload();
    // Writes the working directory back as "TargetDir".
    void Save();

    // The link the device was last found on, read before and written after every device search.
    static uint32_t ReadCurrentPort();
    static void WriteCurrentPort(uint32_t linkType);
    // The stored system-list entry for the modem's preferred mode; true when it had to be changed (the
    // loaded settings are then read again).
    bool SyncPrefMode(uint32_t entry);
    // A fixed diagnostic port (automatic detection off), USB searched first: the command line's --use-port.
    static void StoreFixedPort(uint32_t port);

    const LoadedSettings& Loaded() const { return loaded_; }
    SettingsRecord& Record() { return record_; }
    const SettingsRecord& Record() const { return record_; }

  private:
    void ReadPortValues();

    LoadedSettings loaded_;
    SettingsRecord record_;
};

}  // namespace velmo::manager
