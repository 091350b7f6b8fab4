// Data counters of the connection this manager dialled: what the current call has moved, and a total per day
// kept in ${XDG_STATE_HOME:-~/.local/state}/velmo/traffic.json.
//
// Threads: the device worker feeds the meter once a polling cycle and writes the file; the window thread
// reads copies for the tray's tooltip and the "Pulpit" tab. Everything the meter holds sits behind its one
// lock.
#pragma once

#include <QDate>
#include <QString>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "velmo/IOrvikModem.h"

namespace velmo::manager {

struct TrafficCounts {
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
    uint64_t packetsReceived = 0;
    uint64_t packetsSent = 0;
    uint64_t connectedMs = 0;
    TrafficCounts& operator+=(const TrafficCounts& o);
    bool Empty() const { return *this == TrafficCounts{}; }
    bool operator==(const TrafficCounts&) const = default;
};

struct TrafficDay {
    QDate date;
    TrafficCounts counts;
    bool operator==(const TrafficDay&) const = default;
};

// Days the table shows, and days the file keeps (a year, so that a month's bill can be checked later).
inline constexpr int kTrafficTableDays = 30;
inline constexpr int kTrafficKeptDays = 366;
// The file is written at most this often while a call moves data, and when the call ends.
inline constexpr int64_t kTrafficSaveSeconds = 60;

// The per-day totals as the file holds them; pure.
class CTrafficHistory {
  public:
    void Add(const QDate& day, const TrafficCounts& delta);
    // Days with traffic from today back to days - 1 days ago, newest first.
    std::vector<TrafficDay> LastDays(const QDate& today, int days) const;
    // Forgets days older than kTrafficKeptDays before today.
    void Prune(const QDate& today);

    // {"version": 1, "days": [{"date": "2026-12-09", "bytesReceived": ..., ...}]}. Reading skips entries it
    // cannot use and keeps the rest; text that is no JSON object at all gives an empty history.
    QByteArray ToJson() const;
    static CTrafficHistory FromJson(const QByteArray& json);

  private:
    std::map<QDate, TrafficCounts> days_;
};

// ${XDG_STATE_HOME:-~/.local/state}/velmo/traffic.json.
std::string TrafficFilePath();

class CTrafficMeter {
  public:
    // An empty path keeps the history in memory only. The file is read here.
    explicit CTrafficMeter(std::string path);

    // Worker: the library's statistics of our call, read at now (seconds since the epoch; the local date of
    // it takes the traffic). The record's 32-bit counters may wrap between readings; a connection time that
    // went back is a new call, counted from zero.
    void Feed(const ConnectionStatistics& reading, int64_t now);
    // Worker: no call of ours is up. The current call's counters are forgotten and the file is written.
    void End();
    // Writes the file when something is new; false when writing failed.
    bool Save();

    // Any thread: the current call's counters, nothing between calls.
    std::optional<TrafficCounts> Current() const;
    std::vector<TrafficDay> LastDays(const QDate& today, int days = kTrafficTableDays) const;

  private:
    // Writes what the history holds when something is new. The file is written outside mutex_, so that the
    // window's readers never wait for the disk; fileMutex_ keeps the writes in the order of their snapshots.
    bool Write();

    std::mutex fileMutex_;
    mutable std::mutex mutex_;
    const std::string path_;
    CTrafficHistory history_;
    std::optional<ConnectionStatistics> last_;
    TrafficCounts current_;
    bool dirty_ = false;
    int64_t savedAt_ = 0;  // worker
};

// "1,2 MB" in the manager's language (QLocale's default).
QString FormatBytes(uint64_t bytes);
// "1:02:03".
QString FormatDuration(int64_t seconds);
// The current call in one line for the "Pulpit" tab and the tooltip: received and sent with their packets.
QString TrafficLine(const TrafficCounts& counts);
// The "Pulpit" tab's line above the table: the current call of ours, or that there is none.
QString CurrentTrafficText(const std::optional<TrafficCounts>& current);

// The "Ruch danych" table: one row per day with traffic, newest first, and a total row when there is any day.
struct TrafficTableRow {
    QString day;
    QString received;
    QString sent;
    QString connected;
    bool operator==(const TrafficTableRow&) const = default;
};
std::vector<TrafficTableRow> TrafficTable(const std::vector<TrafficDay>& days);
// The table's column titles.
std::vector<QString> TrafficTableHeader();

}  // namespace velmo::manager
