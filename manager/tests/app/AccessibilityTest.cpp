// What screen readers and UI automation reach, walked in-process through QAccessible: the main window on the
// stand-in and its windows' titles, its skinned buttons pressed through their actions, the painted status
// panel and its events, and the card dialogs' code fields filled and confirmed by name.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "StandInRig.h"
#include "manager/app/MainWindow.h"
#include "manager/core/Settings.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/NoticeWindow.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/PukEntryDialog.h"
#include "manager/screens/SplashWindow.h"
#include "manager/screens/StatusPanel.h"

using namespace velmo::manager;

namespace {

constexpr int kReadyWaitMs = 30000;

void Walk(QAccessibleInterface* node, QList<QAccessibleInterface*>* all) {
    all->append(node);
    for (int i = 0; i < node->childCount(); ++i) {
        Walk(node->child(i), all);
    }
}

QList<QAccessibleInterface*> Named(QObject* root, const QString& name) {
    QList<QAccessibleInterface*> all;
    Walk(QAccessible::queryAccessibleInterface(root), &all);
    QList<QAccessibleInterface*> found;
    for (QAccessibleInterface* node : all) {
        if (node->text(QAccessible::Name) == name) {
            found.append(node);
        }
    }
    return found;
}

bool HasPress(QAccessibleInterface* node) {
    return node->actionInterface() != nullptr &&
           node->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction());
}

void Press(QAccessibleInterface* node) {
    node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

// The texts of the labels that name a field.
QStringList LabelTexts(QAccessibleInterface* field) {
    QStringList texts;
    for (const auto& relation : field->relations(QAccessible::Label)) {
        texts << relation.first->text(QAccessible::Name);
    }
    return texts;
}

// The one code field named so, with the label beside it pointing at it.
QAccessibleInterface* CodeField(QWidget* dialog, const QString& name, const QString& label) {
    const QList<QAccessibleInterface*> found = Named(dialog, name);
    if (found.size() != 1 || found[0]->role() != QAccessible::EditableText ||
        !LabelTexts(found[0]).contains(label)) {
        qWarning() << name << "found" << found.size()
                   << (found.isEmpty() ? QStringList() : LabelTexts(found[0]));
        return nullptr;
    }
    return found[0];
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(rig_.Prepare()); }

    void cleanup() {
        window_.reset();
        rig_.Stop();
    }

    void mainWindowIsUsableThroughItsAccessibleTree() {
        StartStandIn();
        settings_.Load();
        window_ = std::make_unique<MainWindow>(settings_, MainWindow::Options{});
        QVERIFY(window_->Create());
        // Every window has a stable title: the main window, the splash over it, the notice windows.
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window_.get());
        QCOMPARE(root->text(QAccessible::Name), QStringLiteral("VelmoManager"));
        const auto* splash = window_->findChild<SplashWindow*>();
        QVERIFY(splash != nullptr);
        QCOMPARE(splash->windowTitle(), QStringLiteral("VelmoManager"));
        QStringList notices;
        for (const NoticeWindow* notice : window_->findChildren<NoticeWindow*>()) {
            notices << notice->windowTitle();
        }
        notices.sort();
        QCOMPARE(notices,
                 QStringList({QStringLiteral("Poczta głosowa"), QStringLiteral("Połączenie przychodzące"),
                              QStringLiteral("Telefon w użyciu")}));

        // Every skinned button is a named button with a press action, and is the widget it stands for.
        const struct {
            const char* name;
            int id;
        } buttons[] = {{"Połącz", MainWindow::kConnect},
                       {"Rozłącz", MainWindow::kDisconnect},
                       {"Menu", MainWindow::kMenu},
                       {"Menu", MainWindow::kMenuDisabled},
                       {"Minimalizuj", MainWindow::kMinimize},
                       {"Zamknij", MainWindow::kClose}};
        QHash<int, QAccessibleInterface*> byId;
        for (const auto& button : buttons) {
            for (QAccessibleInterface* node : Named(window_.get(), QString::fromUtf8(button.name))) {
                if (node->object() == window_->Button(button.id)) {
                    byId.insert(button.id, node);
                }
            }
            QAccessibleInterface* node = byId.value(button.id);
            QVERIFY2(node != nullptr, button.name);
            QCOMPARE(node->role(), QAccessible::Button);
            QVERIFY2(HasPress(node), button.name);
        }

        // Until the modem is ready the connect button is disabled, and pressing it does what a click does
        // then: nothing.
        QAccessibleInterface* connectButton = byId.value(MainWindow::kConnect);
        QVERIFY(connectButton->state().disabled);
        QSignalSpy clicks(window_->Button(MainWindow::kConnect), &CSkinBitmapButton::clicked);
        Press(connectButton);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(!window_->InputBlocked());

        // The painted panel: a status bar named by its line of text, described by its indicators.
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTRY_COMPARE(panel->ShownText(), QStringLiteral("Gotowy"));
        QAccessibleInterface* status = QAccessible::queryAccessibleInterface(panel);
        QVERIFY(root->indexOfChild(status) >= 0);
        QCOMPARE(status->role(), QAccessible::StatusBar);
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Gotowy"));
        QCOMPARE(status->text(QAccessible::Description),
                 QStringLiteral("Sygnał: %1 z 7, sieć: EV-DO, bateria: %2 z 7")
                     .arg(panel->SignalLevel())
                     .arg(panel->BatteryLevel()));
        QVERIFY(!connectButton->state().disabled);

        // The start-up texts and indicators were sent as events; settings that change nothing read out send
        // none.
        QVERIFY(panel->NameChangeEvents() >= 2);
        QVERIFY(panel->DescriptionChangeEvents() >= 1);
        const int names = panel->NameChangeEvents();
        const int descriptions = panel->DescriptionChangeEvents();
        panel->SetTrafficIndicator(!panel->TrafficIndicator());
        panel->SetStatusText(panel->StatusText());
        panel->SetSignalLevel(panel->SignalLevel());
        QCOMPARE(panel->NameChangeEvents(), names);
        QCOMPARE(panel->DescriptionChangeEvents(), descriptions);

        // Minimize and close through the actions, as a mouse click would.
        Press(byId.value(MainWindow::kMinimize));
        QVERIFY(window_->isMinimized());
        window_->showNormal();
        QTRY_VERIFY(!window_->isMinimized());
        bool finished = false;
        connect(window_.get(), &MainWindow::finished, this, [&finished] { finished = true; });
        const int beforeClose = panel->NameChangeEvents();
        Press(byId.value(MainWindow::kClose));
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Zamykanie…"));
        QCOMPARE(panel->NameChangeEvents(), beforeClose + 1);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 10000);
    }

    void cardCodesCanBeEnteredByName() {
        PinEntryDialog pin(3);
        pin.show();
        QAccessibleInterface* pinField =
            CodeField(&pin, QStringLiteral("Kod PIN"), QStringLiteral("Wprowadź kod PIN"));
        QVERIFY(pinField != nullptr);
        QCOMPARE(pinField->text(QAccessible::Description), QStringLiteral("( Pozostały 3 próby )"));
        // Typed in and confirmed without the mouse or the keyboard.
        pinField->setText(QAccessible::Value, QStringLiteral("1234"));
        QCOMPARE(pin.Pin(), QStringLiteral("1234"));
        const QList<QAccessibleInterface*> ok = Named(&pin, QStringLiteral("OK"));
        QCOMPARE(ok.size(), 1);
        QVERIFY(HasPress(ok[0]));
        Press(ok[0]);
        QTRY_COMPARE(pin.result(), int(QDialog::Accepted));

        PukEntryDialog puk(10);
        puk.show();
        QVERIFY(CodeField(&puk, QStringLiteral("Kod PUK"), QStringLiteral("PUK:")) != nullptr);
        QVERIFY(CodeField(&puk, QStringLiteral("Nowy kod PIN"), QStringLiteral("Nowy kod PIN:")) != nullptr);
        QVERIFY(CodeField(&puk, QStringLiteral("Potwierdzenie nowego kodu PIN"),
                          QStringLiteral("Potwierdź nowy kod PIN:")) != nullptr);
    }

  private:
    void StartStandIn() {
        const std::string error = rig_.Start("healthy-evdo");
        QVERIFY2(error.empty(), error.c_str());
    }

    velmo::manager::test::StandInRig rig_;
    CSettings settings_;
    std::unique_ptr<MainWindow> window_;
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
