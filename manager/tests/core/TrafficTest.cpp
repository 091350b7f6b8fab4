// The data counters: readings of the dial-up service's statistics become per-call and per-day totals, and
// the day file survives the program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "manager/core/Traffic.h"

namespace velmo::manager {
namespace {

ConnectionStatistics Reading(uint32_t received, uint32_t sent, uint32_t ms) {
    ConnectionStatistics s{};
    s.Size = sizeof s;
    s.BytesReceived = received;
    s.BytesSent = sent;
    s.FramesReceived = received / 100;
    s.FramesSent = sent / 100;
    s.ConnectDuration = ms;
    return s;
}

int64_t Noon(const QDate& day) {
    return QDateTime(day, QTime(12, 0)).toSecsSinceEpoch();
}

TEST(TrafficMeter, CountsCallsAcrossWrapsNewCallsAndDaysAndKeepsThemInTheFile) {
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("velmo/traffic.json")).toStdString();
    const QDate today = QDate::currentDate();
    const QDate yesterday = today.addDays(-1);
    {
        CTrafficMeter meter(path);
        EXPECT_FALSE(meter.Current());
        meter.Feed(Reading(1000, 500, 1000), Noon(yesterday));
        // The 32-bit received counter wraps: 0xFFFFFF00 - 1000 and 0x200 more bytes.
        meter.Feed(Reading(0xFFFFFF00u, 600, 2000), Noon(yesterday) + 1);
        meter.Feed(Reading(0x200, 700, 3000), Noon(yesterday) + 2);
        ASSERT_TRUE(meter.Current());
        EXPECT_EQ(meter.Current()->bytesReceived, 0x100000200ull);
        EXPECT_EQ(meter.Current()->bytesSent, 700u);
        EXPECT_EQ(meter.Current()->connectedMs, 3000u);
        // The connection time went back: another call, counted from zero on today's date.
        meter.Feed(Reading(4000, 100, 500), Noon(today));
        EXPECT_EQ(meter.Current()->bytesReceived, 4000u);
        meter.End();
        EXPECT_FALSE(meter.Current());
        // Between calls nothing changes.
        meter.End();
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    CTrafficMeter again(path);
    const std::vector<TrafficDay> days = again.LastDays(today);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].date, today);
    EXPECT_EQ(days[0].counts.bytesReceived, 4000u);
    EXPECT_EQ(days[0].counts.packetsReceived, 40u);
    EXPECT_EQ(days[1].date, yesterday);
    EXPECT_EQ(days[1].counts.bytesReceived, 0x100000200ull);
    EXPECT_EQ(days[1].counts.connectedMs, 3000u);
    // Yesterday falls out of a one-day table; the table adds a total row.
    EXPECT_EQ(again.LastDays(today, 1).size(), 1u);
    const std::vector<TrafficTableRow> rows = TrafficTable(days);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].connected, QStringLiteral("0:00:03"));
}

TEST(TrafficHistory, ReadsWhatItCanAndForgetsOldDays) {
    const QDate today(2026, 12, 10);
    CTrafficHistory history = CTrafficHistory::FromJson(
        R"({"version":1,"days":[{"date":"2026-12-09","bytesReceived":5,"bytesSent":-3},
                                {"date":"not a date","bytesReceived":9},
                                {"date":"2025-01-01","bytesReceived":7}, 42]})");
    std::vector<TrafficDay> days = history.LastDays(today, kTrafficKeptDays * 2);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].counts.bytesReceived, 5u);
    EXPECT_EQ(days[0].counts.bytesSent, 0u);
    history.Prune(today);
    EXPECT_EQ(history.LastDays(today, kTrafficKeptDays * 2).size(), 1u);
    EXPECT_EQ(CTrafficHistory::FromJson(history.ToJson()).LastDays(today, 30), history.LastDays(today, 30));
    EXPECT_TRUE(CTrafficHistory::FromJson("{broken").LastDays(today, 30).empty());
}

}  // namespace
}  // namespace velmo::manager
