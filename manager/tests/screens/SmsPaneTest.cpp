// The "Wiadomości" tab's wiring: a box read into the list with its columns, the buttons a selection enables,
// a new message's refresh waiting for the viewer, and the compose dialog's counter and limit.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "Recorders.h"
#include "SmsStub.h"
#include "manager/core/ScreenFlowThread.h"
#include "manager/core/Settings.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/settings/CFlatButton.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/screens/settings/SmsDialogs.h"
#include "manager/screens/settings/SmsPane.h"

using namespace velmo::manager;
using namespace velmo::manager::smspane;
using velmo::sms::Box;

class SmsPaneTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }
    void init() {
        rig_ = std::make_unique<test::SmsRig>();
        rig_->stub.boxes[0] = {test::Received(3, u"Dzień dobry"), test::Received(5, u"b", velmo::sms::kRead)};
        PaneServices services(rig_->Session());
        services.settings = &settings_;
        services.prompt = std::shared_ptr<IUserPrompt>(&prompt_, [](IUserPrompt*) {});
        services.statusText = [] { return QString(); };
        flows_ = std::make_unique<CScreenFlowThread>();
        window_ = std::make_unique<SettingsWindow>(std::move(services), *flows_, nullptr);
        pane_ = window_->Messages();
        pane_->SetDialogPrompt(std::shared_ptr<IUserPrompt>(&dialogPrompt_, [](IUserPrompt*) {}));
    }
    void cleanup() {
        window_.reset();
        flows_.reset();
        rig_.reset();
        prompt_.Clear();
        dialogPrompt_.Clear();
    }

    void theInBoxIsReadWhenTheTabFirstShows() {
        // Before anything is read: the in-box button and the row buttons are off.
        QVERIFY(!pane_->BoxButton(Box::InBox)->isEnabled());
        QVERIFY(pane_->BoxButton(Box::OutBox)->isEnabled());
        QVERIFY(pane_->Button(kSendMsg)->isEnabled());
        QVERIFY(!pane_->Button(kDelete)->isEnabled());

        QSignalSpy shown(pane_, &SmsPane::boxShown);
        window_->Open();
        window_->SelectTab(settings::kMessages);
        QVERIFY(shown.wait(5000));
        QTreeWidget* list = pane_->List();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->columnCount(), 6);
        QCOMPARE(list->headerItem()->text(kStatusColumn), QStringLiteral("Status"));
        QCOMPARE(list->topLevelItem(0)->text(5), QStringLiteral("Dzień dobry"));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Not Read"));
        QVERIFY(!pane_->Progress()->isVisible());

        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(pane_->Button(kForward)->isEnabled());
        QVERIFY(pane_->Button(kDeleteAll)->isEnabled());

        // Another box: no Status column, and the row buttons off again.
        pane_->BoxButton(Box::OutBox)->click();
        QVERIFY(shown.wait(5000));
        QCOMPARE(list->columnCount(), 5);
        QCOMPARE(list->headerItem()->text(kStatusColumn), QStringLiteral("Time"));
        QVERIFY(!pane_->Button(kForward)->isEnabled());
        QVERIFY(!pane_->BoxButton(Box::OutBox)->isEnabled());
        QVERIFY(pane_->BoxButton(Box::InBox)->isEnabled());
    }

    void aNewMessageWaitsForTheViewerToClose() {
        QSignalSpy shown(pane_, &SmsPane::boxShown);
        window_->Open();
        window_->SelectTab(settings::kMessages);
        QVERIFY(shown.wait(5000));
        QTreeWidget* list = pane_->List();
        list->setCurrentItem(list->topLevelItem(1));
        emit list->itemActivated(list->topLevelItem(1), 0);
        QVERIFY(pane_->Viewer() != nullptr);
        QVERIFY(pane_->Viewer()->SaveButton()->isVisibleTo(pane_->Viewer()));
        QCOMPARE(pane_->Viewer()->MessageView()->toPlainText(), QStringLiteral("b"));

        rig_->stub.boxes[0].push_back(test::Received(9, u"nowa"));
        rig_->stub.ClearLog();
        pane_->OnMessageArrived();
        QTest::qWait(50);
        QVERIFY(rig_->stub.Log().empty());  // nothing read while the viewer is open
        pane_->Viewer()->accept();
        QVERIFY(shown.wait(5000));  // the viewer's own step (a read message: nothing to mark)
        if (list->topLevelItemCount() != 3) {
            QVERIFY(shown.wait(5000));  // then the refresh
        }
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(2)->text(5), QStringLiteral("nowa"));
    }

    void composeCountsCodeUnitsAndSendsThroughTheFlow() {
        window_->Open();
        window_->SelectTab(settings::kInformation);
        pane_->Button(kSendMsg)->click();
        QTRY_VERIFY(pane_->Compose() != nullptr);
        SmsComposeDialog* dialog = pane_->Compose();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Send Msg"));
        QCOMPARE(dialog->OwnNumber()->text(), QStringLiteral("5550001111"));
        QCOMPARE(dialog->Counter()->text(), QStringLiteral("0"));
        dialog->MessageEdit()->setPlainText(QStringLiteral("Zażółć 😀"));
        QCOMPARE(dialog->Counter()->text(), QStringLiteral("9"));
        dialog->MessageEdit()->setPlainText(QString(159, QLatin1Char('a')) + QStringLiteral("😀"));
        QCOMPARE(dialog->MessageEdit()->toPlainText().size(), 159);  // the pair would not fit
        QTest::keyClicks(dialog->Destination(), QStringLiteral("555x1234"));
        QCOMPARE(dialog->Destination()->text(), QStringLiteral("5551234"));

        QSignalSpy idle(dialog->Flows(), &ScreenFlowHost::idle);
        dialog->SendButton()->click();
        QVERIFY(idle.wait(5000));
        QCOMPARE(rig_->stub.Requests(), std::vector<std::string>{"store 0 8"});
        QCOMPARE(dialogPrompt_.Records().back().text, QStringLiteral("SMS Msg sent"));
        QVERIFY(prompt_.Records().empty());
        QVERIFY(dialog->isVisible());  // the dialog stays open
    }

  private:
    QTemporaryDir dir_;
    CSettings settings_;
    test::RecordingPrompt prompt_;
    test::RecordingPrompt dialogPrompt_;
    std::unique_ptr<test::SmsRig> rig_;
    std::unique_ptr<CScreenFlowThread> flows_;
    std::unique_ptr<SettingsWindow> window_;
    SmsPane* pane_ = nullptr;
};

QTEST_MAIN(SmsPaneTest)
#include "SmsPaneTest.moc"
