// Every file the programs keep survives a kill -9 at any moment: a child writes two contents in turn as fast
// as it can, is killed at a random point, and the file must then hold exactly one of them (or, for the data
// counters, which only grow, a whole newer total). Run on the writers the programs use, into a scratch
// folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <random>
#include <string>

#include "manager/core/RegistryKey.h"
#include "manager/core/Traffic.h"
#include "manager/programming/backup/ParameterBackup.h"
#include "platform/dialup/FileUtil.h"
#include "platform/dialup/Phonebook.h"
#include "simulator/DeviceState.h"

namespace velmo::manager::test {
namespace {

constexpr int kKills = 40;

std::string ReadAll(const std::string& path) {
    std::string text;
    dialup::ReadSmallFile(path, text, 1 << 22);
    return text;
}

struct Writer {
    std::string path;
    // Writes the first (false) or the second (true) content.
    std::function<void(bool)> write;
    // For a writer whose content only grows: true when the file is a whole one. Otherwise the file must equal
    // one of the two contents written once before the child starts.
    std::function<bool(const std::string&)> whole;
};

// Kills a child that writes in a loop, kKills times at random points, and checks the file after each.
void KillWhileWriting(const Writer& w) {
    std::string first;
    std::string second;
    if (!w.whole) {
        w.write(true);
        second = ReadAll(w.path);
        w.write(false);
        first = ReadAll(w.path);
        ASSERT_FALSE(first.empty());
        ASSERT_NE(first, second);
    } else {
        w.write(false);
    }
    std::mt19937 rng(static_cast<unsigned>(getpid()));
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (bool turn = true;; turn = !turn) {
                w.write(turn);
            }
        }
        usleep(200 + rng() % 20000);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string now = ReadAll(w.path);
        if (w.whole) {
            ASSERT_TRUE(w.whole(now)) << "after kill " << kill << ":\n" << now;
        } else {
            ASSERT_TRUE(now == first || now == second) << "after kill " << kill << ":\n" << now;
        }
    }
}

class CrashSafeFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        qputenv("XDG_STATE_HOME", dir_.path().toUtf8());
    }
    std::string Path(const char* name) const {
        return QDir(dir_.path()).filePath(QLatin1String(name)).toStdString();
    }

    QTemporaryDir dir_;
};

// The settings and the profiles share one file, written by QSettings on every change.
TEST_F(CrashSafeFiles, SettingsAndProfiles) {
    KillWhileWriting({SettingsFilePath().toStdString(),
                      [](bool second) {
                          RegistryKey key(QStringLiteral("Profile/Sieć domowa"), true);
                          key.WriteString(QStringLiteral("Filler"), QString(4000, QLatin1Char('x')));
                          key.WriteString(QStringLiteral("Number"),
                                          second ? QStringLiteral("#777") : QStringLiteral("*99#"));
                      },
                      {}});
}

// A phonebook entry with its stored password.
TEST_F(CrashSafeFiles, PhonebookEntryAndPassword) {
    dialup::Phonebook book(Path("phonebook"));
    dialup::DialEntry entry;
    entry.name = "Velmo";
    entry.phoneNumber = "#777";
    entry.deviceType = "modem";
    entry.deviceName = "Velmo USB";
    ASSERT_EQ(book.SetEntry(entry), 0);
    KillWhileWriting({book.EntryPath("Velmo"),
                      [&](bool second) {
                          dialup::DialParams params;
                          params.entryName = "Velmo";
                          params.userName = "user";
                          params.password = second ? std::string(3000, 'b') : "a";
                          book.SetParams(params, false);
                      },
                      {}});
}

TEST_F(CrashSafeFiles, StandInState) {
    const std::string path = Path("sim/state");
    KillWhileWriting({path,
                      [&](bool second) {
                          sim::DeviceState state;
                          state.scenario = second ? "no-service" : "healthy-evdo";
                          std::string error;
                          sim::SaveStateFile(path, state, &error);
                      },
                      {}});
}

TEST_F(CrashSafeFiles, ParameterBackup) {
    const std::string path = Path("backups/backup.json");
    KillWhileWriting({path,
                      [&](bool second) {
                          programming::Backup backup;
                          backup.esn = second ? "89ABCDEF" : "01234567";
                          backup.savedUtc = "2026-12-10T06:00:00Z";
                          std::string error;
                          programming::SaveBackup(backup, path, &error);
                      },
                      {}});
}

// The data counters only grow: each write adds 1000 bytes to today, so a whole file holds a multiple of it.
TEST_F(CrashSafeFiles, TrafficHistory) {
    const std::string path = TrafficFilePath();
    const auto write = [&](bool) {
        CTrafficMeter meter(path);
        ConnectionStatistics s{};
        s.Size = sizeof s;
        s.BytesReceived = 1000;
        s.ConnectDuration = 1;
        meter.Feed(s, static_cast<int64_t>(time(nullptr)));
        meter.End();
    };
    KillWhileWriting({path, write, [](const std::string& text) {
                          const QJsonObject day = QJsonDocument::fromJson(QByteArray::fromStdString(text))
                                                      .object()
                                                      .value(QStringLiteral("days"))
                                                      .toArray()
                                                      .at(0)
                                                      .toObject();
                          const qint64 bytes = day.value(QStringLiteral("bytesReceived")).toInteger();
                          return bytes > 0 && bytes % 1000 == 0;
                      }});
}

}  // namespace
}  // namespace velmo::manager::test
