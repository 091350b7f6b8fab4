// The advanced configuration window's wiring: names from the rows, the mode list's order, and a window that
// forgets its values and keeps its writes disabled when the worker searches for a modem anew.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>

#include "manager/core/ScreenFlowThread.h"
#include "manager/core/Settings.h"
#include "manager/programming/AdvancedConfigWindow.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/tests/core/Recorders.h"
#include "manager/tests/core/StubModem.h"

namespace velmo::manager::test {

using namespace programming;

// Every parameter reads as the same small value.
class OneModem : public StubModem {
  public:
    int32_t ReadNamParameter(int32_t, uint8_t* out131) override {
        std::memset(out131, 0, kNamParameterReplySize);
        out131[5] = '1';
        return kResultOk;
    }
};

class AdvancedConfigWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void rowsNamesAndAWindowThatOutlivesItsModem() {
        OneModem modem;
        CModemWrapper wrapper;
        wrapper.Attach(&modem);
        DeviceContext context;
        context.workerStepping.store(0);
        context.connectionState.store(kConnReady);
        context.spcCheckNeeded.store(0);
        platform::SteadyClock clock;
        CScreenFlowThread flows;
        RecordingPrompt prompt;
        {
            AdvancedConfigWindow window(
                ModemSession(wrapper, context, clock), flows, []() -> int32_t { return kLinkUsb; }, &prompt);
            QCOMPARE(window.windowTitle(), QStringLiteral(" Advanced Configuration"));
            QCOMPARE(window.Control(1026)->accessibleName(), QStringLiteral("MIN :"));
            QCOMPARE(window.Button(1053)->accessibleName(), QStringLiteral("MIN R"));
            QCOMPARE(window.Button(1054)->accessibleName(), QStringLiteral("MIN W"));
            QCOMPARE(window.Control(1048)->accessibleName(), QStringLiteral("HOME SID_NID (800 MHz) SID"));
            auto* modes = qobject_cast<QComboBox*>(window.Control(1049));
            QCOMPARE(modes->count(), 3);
            QCOMPARE(modes->itemText(0), QStringLiteral("EvDO Only"));
            QCOMPARE(modes->itemText(1), QStringLiteral("1xRTT and EvDO"));
            QCOMPARE(modes->itemText(2), QStringLiteral("1xRTT Only"));
            // The ESN is never written.
            QVERIFY(!window.Button(1052)->isEnabled());
            // Every control a screen reader can reach has a name.
            for (QWidget* w : window.findChildren<QWidget*>()) {
                if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w) ||
                    qobject_cast<QComboBox*>(w)) {
                    QVERIFY(!w->accessibleName().isEmpty());
                }
            }

            // Opening read everything.
            QTRY_VERIFY(!window.Flows()->Busy());
            const auto text = [&window](int id) {
                return qobject_cast<QLineEdit*>(window.Control(id))->text();
            };
            QCOMPARE(text(1027), QStringLiteral("1"));
            QVERIFY(window.Button(kRestore)->isEnabled());

            // The worker searches anew: the values go, writing back waits for the gate of the next modem.
            context.spcCheckNeeded.store(1);
            context.deviceSearches.fetch_add(1);
            context.connectionState.store(kConnDeviceFound);
            QTRY_COMPARE(text(1027), QString());
            QCOMPARE(modes->currentIndex(), -1);
            for (int id : {int(kRestore), int(kRefresh), 1054, 1069, 1070, 1071, 1073, 1091, 1092}) {
                QVERIFY2(!window.Button(id)->isEnabled(), qPrintable(QString::number(id)));
            }
            context.connectionState.store(kConnReady);
            QTRY_VERIFY(window.Button(kRefresh)->isEnabled());
            QVERIFY(!window.Button(kRestore)->isEnabled());
            QVERIFY(!window.Button(1054)->isEnabled());
            context.spcCheckNeeded.store(0);
            QTRY_VERIFY(window.Button(kRestore)->isEnabled());
            QVERIFY(window.Button(1054)->isEnabled());
        }
        flows.Stop();
        wrapper.Attach(nullptr);
    }
};

}  // namespace velmo::manager::test

QTEST_MAIN(velmo::manager::test::AdvancedConfigWindowTest)
#include "AdvancedConfigWindowTest.moc"
