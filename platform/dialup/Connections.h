// Connection records in the runtime folder: one file per connection that this service dialled (or found as
// pppd on a modem tty), so that every copy of the service in every process of the user sees the same
// connections under the same ids. A record names the process that dials it (the owner) and the child it runs
// now (chat or pppd), each by pid and start time; a record whose processes are both gone is stale and
// removed.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "DialupService.h"

namespace velmo::dialup {

struct ConnectionRecord {
    ConnectionId id = 0;
    std::string entryName;
    std::string deviceName;
    std::string tty;
    std::string interface;  // pppN once pppd named it
    pid_t ownerPid = 0;     // 0: not dialled by us (pppd found on a modem tty)
    uint64_t ownerStart = 0;
    pid_t ownerTid = 0;  // the owner's dialer thread
    pid_t pid = 0;       // the child running now, 0 between steps
    uint64_t pidStart = 0;
    std::string program;
    uint32_t state = 0;
    uint32_t error = 0;
    uint64_t createdMs = 0;    // BootTimeMs
    uint64_t connectedMs = 0;  // when IP came up; 0 before
    uint32_t bps = 0;
};

enum class HangUpMode { None, Notify, Quiet };

// The interface counters, in the order of LinkStatistics' counter fields.
inline constexpr std::array<const char*, 10> kCounterFiles{
    "tx_bytes",  "rx_bytes",         "tx_packets",     "rx_packets",      "rx_crc_errors",
    "tx_errors", "rx_length_errors", "rx_fifo_errors", "rx_frame_errors", "rx_over_errors",
};
using Counters = std::array<uint64_t, kCounterFiles.size()>;

class ConnectionStore {
  public:
    ConnectionStore(std::string runtimeDir, std::string procDir)
        : dir_(std::move(runtimeDir)), proc_(std::move(procDir)) {}

    const std::string& Directory() const { return dir_; }

    // Gives the record a fresh id and writes it; false when the folder cannot be written.
    bool Create(ConnectionRecord& record);
    bool Update(const ConnectionRecord& record);
    bool Read(ConnectionId id, ConnectionRecord& record) const;
    void Remove(ConnectionId id);
    // The live records, oldest first; stale ones are removed on the way.
    std::vector<ConnectionRecord> List();

    bool OwnerAlive(const ConnectionRecord& record) const;
    bool ChildAlive(const ConnectionRecord& record) const;
    bool Live(const ConnectionRecord& record) const { return OwnerAlive(record) || ChildAlive(record); }

    bool RequestHangUp(ConnectionId id, HangUpMode mode);
    HangUpMode HangUpRequested(ConnectionId id) const;

    bool ReadBaseline(ConnectionId id, Counters& counters) const;
    bool WriteBaseline(ConnectionId id, const Counters& counters);

  private:
    std::string PathOf(ConnectionId id, const char* suffix) const;
    bool EnsureDirectory() const;

    std::string dir_;
    std::string proc_;
};

std::string FormatRecord(const ConnectionRecord& record);
bool ParseRecord(const std::string& text, ConnectionRecord& record);

}  // namespace velmo::dialup
