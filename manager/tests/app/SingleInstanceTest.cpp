// One manager per user: the second start reaches the first and asks it to come forward; a crashed first copy
// leaves nothing behind that blocks the next start. Each copy is a separate process, as in real use.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "manager/core/SingleInstance.h"

using velmo::manager::SingleInstance;
using velmo::manager::SingleInstanceSocketPath;

namespace {

constexpr int kChildWaitMs = 10000;

// Child modes: "claim" prints first/second; "hold" claims and then waits to be killed.
int RunChild(const char* mode) {
    SingleInstance instance;
    const bool first = instance.Claim();
    std::printf("%s\n", first ? "first" : "second");
    std::fflush(stdout);
    if (std::strcmp(mode, "hold") == 0) {
        return QCoreApplication::exec();
    }
    return 0;
}

QString RunClaimChild() {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QStringLiteral("claim")});
    // The parent's event loop must keep running: the first copy answers the second one's knock.
    QElapsedTimer waited;
    waited.start();
    while (child.state() != QProcess::NotRunning && waited.elapsed() < kChildWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        child.waitForFinished(10);
    }
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed();
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
    }

    void secondStartRaisesTheFirst() {
        SingleInstance first;
        int raised = 0;
        connect(&first, &SingleInstance::raiseRequested, this, [&raised] { ++raised; });
        QVERIFY(first.Claim());
        QCOMPARE(RunClaimChild(), QStringLiteral("second"));
        QTRY_COMPARE(raised, 1);
        // The socket lives in the user's own runtime folder, never in a shared place.
        QVERIFY(SingleInstanceSocketPath().startsWith(runtime_.path()));
    }

    void startAfterTheFirstEndedIsFirstAgain() {
        {
            SingleInstance first;
            QVERIFY(first.Claim());
        }
        QCOMPARE(RunClaimChild(), QStringLiteral("first"));
    }

    void crashedCopyLeavesNothingBehind() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--child"), QStringLiteral("hold")});
        QVERIFY(holder.waitForReadyRead(kChildWaitMs));
        QCOMPARE(QString::fromUtf8(holder.readAllStandardOutput()).trimmed(), QStringLiteral("first"));
        ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(kChildWaitMs));
        // Its socket file is still there, but nobody answers on it.
        QVERIFY(QFile::exists(SingleInstanceSocketPath()));
        SingleInstance next;
        QVERIFY(next.Claim());
    }

  private:
    QTemporaryDir runtime_;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        return RunChild(argv[2]);
    }
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SingleInstanceTest.moc"
