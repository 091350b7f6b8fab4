// The blinking notice windows and the start-up splash.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <atomic>

#include "manager/screens/NoticeWindow.h"
#include "manager/screens/SplashWindow.h"

using namespace velmo::manager;

class NoticeSplashTest : public QObject {
    Q_OBJECT
  private slots:
    void NoticeRunsItsSequenceStepByStep();
    void NoticeIsNotRestartedWhileRunning();
    void NoticeKeepsTransparencyForItsNextShow();
    void NoticeRunsOnItsOwnTimers();

    void SplashGoesAfterItsLifetime();
    void SplashConsumesTheFirstKeyPress();
    void SplashConsumesTheFirstMousePress();
    void OnlyOneSplashAtATime();
};

namespace {

// Runs the two delays and the 60 blinking steps, checking the opacity after each.
void RunSequence(NoticeWindow& notice, const std::atomic<bool>& flag) {
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::FirstDelay);
    notice.Tick();
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::SecondDelay);
    notice.Tick();
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::Blinking);
    for (int step = 0; step < NoticeWindow::kSteps; ++step) {
        notice.Tick();
        const double expected = (step / 5) % 2 == 0 ? 0.0 : 1.0;
        QVERIFY2(notice.windowOpacity() == expected, qPrintable(QStringLiteral("step %1").arg(step)));
        QVERIFY(notice.isVisible());
        QVERIFY(flag.load());
    }
    notice.Tick();
    QCOMPARE(notice.windowOpacity(), 0.0);
    QVERIFY(!notice.isVisible());
    QVERIFY(!flag.load());
    QCOMPARE(notice.Step(), 0);
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::Idle);
}

}  // namespace

void NoticeSplashTest::NoticeRunsItsSequenceStepByStep() {
    std::atomic<bool> flag{true};
    NoticeWindow notice(180, &flag, nullptr);
    notice.SetManualTicks(true);
    QCOMPARE(notice.size(), QSize(120, 26));
    QCOMPARE(notice.windowOpacity(), 1.0);
    notice.Show();
    QVERIFY(notice.isVisible());
    // Opaque during the first one and a half seconds.
    QCOMPARE(notice.windowOpacity(), 1.0);
    RunSequence(notice, flag);
    // Further ticks after the end change nothing.
    notice.Tick();
    QVERIFY(!notice.isVisible());
}

void NoticeSplashTest::NoticeIsNotRestartedWhileRunning() {
    std::atomic<bool> flag{true};
    NoticeWindow notice(178, &flag, nullptr);
    notice.SetManualTicks(true);
    notice.Show();
    notice.Tick();
    notice.Tick();
    for (int i = 0; i < 12; ++i) {
        notice.Tick();
    }
    QCOMPARE(notice.Step(), 12);
    notice.Show();
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::Blinking);
    QCOMPARE(notice.Step(), 12);
    for (int i = 12; i < NoticeWindow::kSteps; ++i) {
        notice.Tick();
    }
    notice.Tick();
    QVERIFY(!flag.load());
    QVERIFY(!notice.isVisible());
}

void NoticeSplashTest::NoticeKeepsTransparencyForItsNextShow() {
    std::atomic<bool> flag{true};
    NoticeWindow notice(181, &flag, nullptr);
    notice.SetManualTicks(true);
    notice.Show();
    RunSequence(notice, flag);
    flag.store(true);
    notice.Show();
    QVERIFY(notice.isVisible());
    QCOMPARE(notice.windowOpacity(), 0.0);
    RunSequence(notice, flag);
}

void NoticeSplashTest::NoticeRunsOnItsOwnTimers() {
    std::atomic<bool> flag{true};
    NoticeWindow notice(180, &flag, nullptr);
    notice.Show();
    QTest::qWait(NoticeWindow::kFirstDelayMs + NoticeWindow::kSecondDelayMs + 5 * NoticeWindow::kStepMs / 2);
    QCOMPARE(notice.CurrentPhase(), NoticeWindow::Phase::Blinking);
    QCOMPARE(notice.windowOpacity(), 0.0);
    QTRY_VERIFY_WITH_TIMEOUT(!flag.load(), 10000);
    QVERIFY(!notice.isVisible());
}

void NoticeSplashTest::SplashGoesAfterItsLifetime() {
    QWidget owner;
    owner.resize(335, 173);
    owner.show();
    auto* splash = new SplashWindow(&owner, 100);
    QSignalSpy gone(splash, &SplashWindow::gone);
    QVERIFY(splash->Start());
    QVERIFY(splash->isVisible());
    QCOMPARE(splash->size(), QSize(320, 160));
    QCOMPARE(splash->geometry().center(), owner.frameGeometry().center());
    QVERIFY(SplashWindow::Exists());
    QTRY_COMPARE(gone.count(), 1);
    QVERIFY(!SplashWindow::Exists());
}

void NoticeSplashTest::SplashConsumesTheFirstKeyPress() {
    QLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QPointer<SplashWindow> splash = new SplashWindow(nullptr);
    QSignalSpy gone(splash.data(), &SplashWindow::gone);
    QVERIFY(splash->Start());
    QTest::keyClick(&edit, Qt::Key_A);
    QCOMPARE(gone.count(), 1);
    QCOMPARE(edit.text(), QString());
    // Only that press: the next one reaches the edit.
    QTest::keyClick(&edit, Qt::Key_B);
    QCOMPARE(edit.text(), QStringLiteral("b"));
    QTRY_VERIFY(splash.isNull());
}

void NoticeSplashTest::SplashConsumesTheFirstMousePress() {
    QWidget target;
    target.resize(100, 100);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    auto* splash = new SplashWindow(nullptr);
    QSignalSpy gone(splash, &SplashWindow::gone);
    QVERIFY(splash->Start());
    QTest::mouseClick(&target, Qt::RightButton, {}, QPoint(50, 50));
    QCOMPARE(gone.count(), 1);
    QVERIFY(!SplashWindow::Exists());
}

void NoticeSplashTest::OnlyOneSplashAtATime() {
    auto* first = new SplashWindow(nullptr);
    QVERIFY(first->Start());
    QPointer<SplashWindow> second = new SplashWindow(nullptr);
    QVERIFY(!second->Start());
    QTRY_VERIFY(second.isNull());
    QVERIFY(SplashWindow::Exists());
    first->Dismiss();
    QVERIFY(!SplashWindow::Exists());
    auto* third = new SplashWindow(nullptr);
    QVERIFY(third->Start());
    third->Dismiss();
}

QTEST_MAIN(NoticeSplashTest)
#include "NoticeSplashTest.moc"
