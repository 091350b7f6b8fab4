// The settings window's wiring and layout: the tabs, OK / "Anuluj" / "Zastosuj", the key sequences, every
// text fitting its rectangle at the default and the smallest size in both languages (and the dialogs' texts at
// the size they open with), no Polish left in English, and a name for every control.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include "CardStub.h"
#include "Recorders.h"
#include "manager/core/Language.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/ScreenFlowThread.h"
#include "manager/core/Settings.h"
#include "manager/core/Texts.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/ProfileDialog.h"
#include "manager/screens/PukEntryDialog.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/RfGraphWindow.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/SkinImages.h"
#include "manager/screens/SpcEntryDialog.h"
#include "manager/screens/settings/DesktopPane.h"
#include "manager/screens/settings/GeneralPane.h"
#include "manager/screens/settings/InfoPanes.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/screens/settings/SmsDialogs.h"

using namespace velmo::manager;

namespace {

// Every accessible node under root.
void Walk(QAccessibleInterface* node, QList<QAccessibleInterface*>* out) {
    if (node == nullptr) {
        return;
    }
    out->append(node);
    for (int i = 0; i < node->childCount(); ++i) {
        Walk(node->child(i), out);
    }
}

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        // Laid out and measured in the font the program uses.
        SetApplicationFont();
        QVERIFY(PrepareSettingsFile());
    }
    void init() {
        // The rows tagged "en" run in English, the others in the Polish the texts are written in.
        const bool english =
            QTest::currentDataTag() != nullptr && qstrcmp(QTest::currentDataTag(), "en") == 0;
        QVERIFY(ApplyLanguage(*qApp, english ? UiLanguage::English : UiLanguage::Polish));
        rig_ = std::make_unique<test::CardRig>();
        rig_->context.connectionState.store(kConnReady);
        PaneServices services(rig_->Session());
        services.settings = &settings_;
        services.prompt = std::shared_ptr<IUserPrompt>(&prompt_, [](IUserPrompt*) {});
        services.statusText = [] { return ReadyText(); };
        services.productText = settings::ProductText(QStringLiteral("1.1.1.7"));
        flows_ = std::make_unique<CScreenFlowThread>();
        window_ = std::make_unique<SettingsWindow>(std::move(services), *flows_, nullptr);
    }
    void cleanup() {
        window_.reset();
        flows_.reset();
        rig_.reset();
        prompt_.Clear();
        ApplyLanguage(*qApp, UiLanguage::Polish);
    }

    void opensOnInformationAndReturnsThere() {
        QCOMPARE(window_->windowTitle(), QStringLiteral(" Menu"));
        QCOMPARE(window_->Tabs()->count(), 8);
        QCOMPARE(window_->Tabs()->tabText(settings::kMessages), QStringLiteral("Wiadomości"));
        QCOMPARE(window_->Tabs()->tabText(settings::kDesktop), QStringLiteral("Pulpit"));
        QCOMPARE(window_->Tabs()->tabText(1), QStringLiteral(" Profil połączenia USB "));
        window_->Open();
        QVERIFY(window_->isVisible());
        QCOMPARE(window_->CurrentTab(), int(settings::kInformation));
        QVERIFY(window_->Information()->isVisible());
        QVERIFY(!window_->ApplyButton()->isEnabled());
        // The network setup tab never stays selected.
        QSignalSpy network(window_.get(), &SettingsWindow::networkSetupRequested);
        window_->Tabs()->setCurrentIndex(settings::kStatus);
        window_->Tabs()->setCurrentIndex(settings::kNetwork);
        QCOMPARE(network.count(), 1);
        QCOMPARE(window_->Tabs()->currentIndex(), int(settings::kStatus));
        QVERIFY(window_->Status()->isVisible());
        QCOMPARE(window_->Status()->Table()->item(6, 1)->text(), QStringLiteral("Gotowy"));
        // "Anuluj" and OK both hide the window and go back to the information tab.
        QSignalSpy finished(window_.get(), &SettingsWindow::finished);
        window_->CancelButton()->click();
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->CurrentTab(), int(settings::kInformation));
        window_->Open();
        window_->Tabs()->setCurrentIndex(settings::kGeneral);
        window_->OkButton()->click();
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(window_->CurrentTab(), int(settings::kInformation));
    }

    void generalOptionsEnableApplyAndApplyRunsAsAFlow() {
        window_->Open();
        window_->SelectTab(settings::kGeneral);
        GeneralPane* general = window_->General();
        QTRY_VERIFY(!window_->Flows()->Busy());
        QVERIFY(!general->ComList()->isVisible());
        general->FixedPortBox()->click();
        QTRY_VERIFY(!window_->Flows()->Busy());
        QVERIFY(general->ComList()->isVisible());
        QVERIFY(window_->ApplyButton()->isEnabled());
        QCOMPARE(prompt_.Messages().size(), size_t(1));
        QVERIFY(prompt_.Messages()[0].text.startsWith(QStringLiteral("W celu zmiany konfiguracji")));
        // "inne" sends nothing to the modem; the options are saved and the flag cleared.
        general->SystemList()->setCurrentIndex(3);
        window_->ApplyButton()->click();
        QTRY_VERIFY(!window_->Flows()->Busy());
        QVERIFY(!window_->ApplyButton()->isEnabled());
        CSettings stored;
        stored.Load();
        QCOMPARE(stored.Loaded().disableAutoPort, 1u);
        QCOMPARE(stored.Loaded().prefMode, 3u);
    }

    void keySequencesOnTheInformationTab() {
        window_->Open();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        // Input waits until the window's flows (the options being read) have finished.
        QTRY_VERIFY(!window_->Flows()->Busy());
        // Typed where the keyboard is: the widget with the focus.
        const auto type = [this](const QString& keys) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClicks(focus != nullptr ? focus : window_.get(), keys);
        };
        QSignalSpy status(window_.get(), &SettingsWindow::advancedStatusRequested);
        QSignalSpy configuration(window_.get(), &SettingsWindow::advancedConfigurationRequested);
        type(QStringLiteral("88888888"));
        QCOMPARE(status.count(), 1);
        type(QStringLiteral("5555055555555"));
        QCOMPARE(configuration.count(), 1);
        // Elsewhere the keys mean nothing.
        window_->SelectTab(settings::kStatus);
        type(QStringLiteral("88888888"));
        QCOMPARE(status.count(), 1);
    }

    // "Pulpit": the switches start on, a change enables "Zastosuj", which stores it and asks the main window
    // to take it up.
    void desktopTabStoresItsSwitches() {
        int reloads = 0;
        window_.reset();
        PaneServices services(rig_->Session());
        services.settings = &settings_;
        services.prompt = std::shared_ptr<IUserPrompt>(&prompt_, [](IUserPrompt*) {});
        services.reloadSettings = [&reloads] { ++reloads; };
        window_ = std::make_unique<SettingsWindow>(std::move(services), *flows_, nullptr);
        window_->Open();
        window_->SelectTab(settings::kDesktop);
        DesktopPane* pane = window_->Desktop();
        QCOMPARE(pane->Options(), DesktopOptions{});
        QVERIFY(!window_->ApplyButton()->isEnabled());
        pane->BusBox()->click();
        QVERIFY(window_->ApplyButton()->isEnabled());
        pane->BusBox()->click();
        QVERIFY(!window_->ApplyButton()->isEnabled());
        pane->TrayIconBox()->click();
        window_->ApplyButton()->click();
        QTRY_VERIFY(!window_->ApplyButton()->isEnabled());
        QCOMPARE(reloads, 1);
        DesktopOptions stored = DesktopOptions::Load();
        QVERIFY(!stored.trayIcon);
        QVERIFY(stored.notifications && stored.busInterface);
        DesktopOptions{}.Save();
    }

    // Each text's size hint fits the rectangle its row gives it, at the default and at the smallest size, in
    // both languages.
    void textsFitAtTheDefaultAndTheSmallestSize_data() {
        QTest::addColumn<int>("unused");
        QTest::newRow("pl") << 0;
        QTest::newRow("en") << 0;
    }
    void textsFitAtTheDefaultAndTheSmallestSize() {
        window_->show();
        for (const QSize size : {QSize(settings::kDefaultWidth, settings::kDefaultHeight),
                                 QSize(settings::kMinimumWidth, settings::kMinimumHeight)}) {
            // At the default size every tab's text shows without scrolling the tab bar.
            if (size.width() == settings::kDefaultWidth) {
                QVERIFY2(window_->Tabs()->sizeHint().width() <= size.width(),
                         qPrintable(
                             QStringLiteral("the tabs need %1 px").arg(window_->Tabs()->sizeHint().width())));
            }
            for (int tab : {settings::kGeneral, settings::kProfiles, settings::kStatus, settings::kRuim,
                            settings::kInformation, settings::kMessages, settings::kDesktop}) {
                SettingsPane* pane = window_->Pane(tab);
                for (const LayoutRow& row : pane->Layout()) {
                    QWidget* control = pane->Control(row.id);
                    // Edits hold what the user types, not a text of ours.
                    if (control == nullptr || row.kind == ControlKind::List ||
                        row.kind == ControlKind::Frame || row.kind == ControlKind::Edit) {
                        continue;
                    }
                    const QRect r = pane->RectOf(row.id, size.width(), size.height());
                    const QSize hint = control->sizeHint();
                    QVERIFY2(hint.width() <= r.width() && hint.height() <= r.height(),
                             qPrintable(QStringLiteral("tab %1 control %2 at %3x%4: needs %5x%6, has %7x%8")
                                            .arg(tab)
                                            .arg(row.id)
                                            .arg(size.width())
                                            .arg(size.height())
                                            .arg(hint.width())
                                            .arg(hint.height())
                                            .arg(r.width())
                                            .arg(r.height())));
                }
            }
            // The status table: its filled columns and its eight rows within its rectangle.
            QTableWidget* table = window_->Status()->Table();
            const QRect r = window_->Status()->RectOf(settings::kStatusTable, size.width(), size.height());
            table->setGeometry(r);
            window_->Status()->Refresh();
            // Each column as wide as its widest text with the cell's margins, each row one line high.
            const QFontMetrics fm(table->font());
            constexpr int kCellMargins = 12;
            int columns = 0;
            for (int c = 0; c < table->columnCount(); ++c) {
                int widest = fm.horizontalAdvance(table->horizontalHeaderItem(c)->text());
                for (int row = 0; row < table->rowCount(); ++row) {
                    widest = std::max(widest, fm.horizontalAdvance(table->item(row, c)->text()));
                }
                columns += widest + kCellMargins;
            }
            QVERIFY2(columns <= r.width() - 2 * table->frameWidth(), qPrintable(QString::number(columns)));
            const int rows =
                table->horizontalHeader()->sizeHint().height() + table->rowCount() * (fm.height() + 6);
            QVERIFY2(rows <= r.height() - 2 * table->frameWidth(), qPrintable(QString::number(rows)));
        }
        QVERIFY(window_->TabArea()->minimumSize() ==
                QSize(settings::kMinimumWidth, settings::kMinimumHeight));
    }

    // The dialogs the program opens show every text whole at the size they open with, in both languages.
    void dialogsFitTheirTexts_data() {
        QTest::addColumn<int>("unused");
        QTest::newRow("pl") << 0;
        QTest::newRow("en") << 0;
    }
    void dialogsFitTheirTexts() {
        QStringList cut;
        const auto check = [&cut](QWidget* top) {
            top->show();
            QVERIFY(QTest::qWaitForWindowExposed(top));
            int texts = 0;
            for (QWidget* w : top->findChildren<QWidget*>()) {
                const bool text = qobject_cast<QLabel*>(w) != nullptr || qobject_cast<QAbstractButton*>(w) != nullptr;
                if (!text || !w->isVisible()) {
                    continue;
                }
                ++texts;
                const auto* label = qobject_cast<QLabel*>(w);
                const bool wraps = label != nullptr && label->wordWrap();
                const QSize hint = w->sizeHint();
                const bool fits = wraps ? w->heightForWidth(w->width()) <= w->height()
                                        : hint.width() <= w->width() && hint.height() <= w->height();
                if (!fits) {
                    const QString shown = label != nullptr ? label->text() : qobject_cast<QAbstractButton*>(w)->text();
                    cut << QStringLiteral("%1: \"%2\" needs %3x%4, has %5x%6")
                               .arg(QString::fromLatin1(top->metaObject()->className()), shown)
                               .arg(hint.width())
                               .arg(hint.height())
                               .arg(w->width())
                               .arg(w->height());
                }
            }
            QVERIFY(texts >= 3);
            top->hide();
        };
        PinEntryDialog pin(3);
        check(&pin);
        PukEntryDialog puk(10);
        check(&puk);
        SpcEntryDialog spc;
        check(&spc);
        ProfileDialog profile;
        check(&profile);
        SmsComposeDialog compose(rig_->Session(), *flows_, smspane::ComposeFields{}, window_.get());
        check(&compose);
        AdvancedStatusDialog status(rig_->Session(), *flows_, &prompt_);
        check(&status);
        RfGraphWindow graph(rig_->Session(), *flows_);
        check(&graph);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    void everyControlHasANameAndARole() {
        window_->Open();
        for (int tab : {settings::kGeneral, settings::kProfiles, settings::kStatus, settings::kRuim,
                        settings::kInformation, settings::kMessages, settings::kDesktop}) {
            window_->SelectTab(tab);
            QList<QAccessibleInterface*> nodes;
            Walk(QAccessible::queryAccessibleInterface(window_.get()), &nodes);
            int controls = 0;
            for (QAccessibleInterface* node : nodes) {
                const QAccessible::Role role = node->role();
                const bool control = role == QAccessible::Button || role == QAccessible::CheckBox ||
                                     role == QAccessible::ComboBox || role == QAccessible::PageTab ||
                                     role == QAccessible::List || role == QAccessible::Table ||
                                     role == QAccessible::Tree || role == QAccessible::StaticText ||
                                     role == QAccessible::Graphic || role == QAccessible::EditableText;
                if (!control || node->state().invisible) {
                    continue;
                }
                ++controls;
                QVERIFY2(
                    !node->text(QAccessible::Name).trimmed().isEmpty(),
                    qPrintable(QStringLiteral("tab %1: a control of role %2 (%3) has no name")
                                   .arg(tab)
                                   .arg(int(role))
                                   .arg(node->object() != nullptr ? node->object()->metaObject()->className()
                                                                  : "?")));
            }
            QVERIFY(controls > 5);
        }
    }

    // In English no Polish text is left: not in the settings window's tabs, nor in its dialogs, nor in a
    // message box.
    void englishLeavesNoPolishText_data() {
        QTest::addColumn<int>("unused");
        QTest::newRow("en") << 0;
    }
    void englishLeavesNoPolishText() {
        const QSet<QString> polish = PolishSources();
        QVERIFY(polish.size() > 100);
        QStringList left;
        const auto check = [&](QWidget* top) {
            for (const QString& text : ShownTexts(top)) {
                if (IsPolish(text, polish)) {
                    left << QStringLiteral("%1: \"%2\"")
                                .arg(QString::fromLatin1(top->metaObject()->className()), text);
                }
            }
        };
        window_->Open();
        for (int tab : {settings::kGeneral, settings::kProfiles, settings::kStatus, settings::kRuim,
                        settings::kInformation, settings::kMessages, settings::kDesktop}) {
            window_->SelectTab(tab);
            check(window_.get());
        }
        PinEntryDialog pin(3);
        check(&pin);
        PukEntryDialog puk(10);
        check(&puk);
        SpcEntryDialog spc;
        check(&spc);
        ProfileDialog profile;
        check(&profile);
        SmsComposeDialog compose(rig_->Session(), *flows_, smspane::ComposeFields{}, window_.get());
        check(&compose);
        // A question as the program asks it, read while it is open.
        QtUserPrompt prompt(window_.get(), nullptr);
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            check(box);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        prompt.Message(Tr::tr("Błędny kod SPC"), AppCaption(), PromptIcon::Exclamation, PromptButtons::YesNo);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
    }

  private:
    // The Polish texts of the translation whose English differs.
    static QSet<QString> PolishSources() {
        QSet<QString> out;
        QFile file(QStringLiteral(VELMO_TS_FILE));
        if (!file.open(QIODevice::ReadOnly)) {
            return out;
        }
        QXmlStreamReader xml(&file);
        QString source;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation") &&
                       xml.readElementText(QXmlStreamReader::IncludeChildElements) != source) {
                out.insert(source.trimmed());
            }
        }
        return out;
    }
    // A text of the translation's Polish side, also with its %1 filled in, or any text with Polish letters.
    static bool IsPolish(const QString& text, const QSet<QString>& polish) {
        static const QRegularExpression letters(QStringLiteral("[ąćęłńóśźżĄĆĘŁŃÓŚŹŻ]"));
        if (text.contains(letters) || polish.contains(text.trimmed())) {
            return true;
        }
        for (const QString& source : polish) {
            if (source.contains(QLatin1Char('%'))) {
                QString pattern = QRegularExpression::escape(source);
                pattern.replace(QRegularExpression(QStringLiteral("%\\d")), QStringLiteral(".*"));
                if (QRegularExpression(QStringLiteral("^\\s*%1\\s*$").arg(pattern)).match(text).hasMatch()) {
                    return true;
                }
            }
        }
        return false;
    }
    // Every text a window shows or gives to assistive tools.
    static QStringList ShownTexts(QWidget* top) {
        QStringList out{top->windowTitle(), top->accessibleName(), top->accessibleDescription()};
        for (QWidget* w : top->findChildren<QWidget*>()) {
            out << w->accessibleName() << w->accessibleDescription() << w->toolTip();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                out << label->text();
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                out << button->text();
            } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
                out << box->title();
            } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                for (int i = 0; i < combo->count(); ++i) {
                    out << combo->itemText(i);
                }
            } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
                for (int i = 0; i < tabs->count(); ++i) {
                    out << tabs->tabText(i);
                }
            } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
                for (int c = 0; c < table->columnCount(); ++c) {
                    if (table->horizontalHeaderItem(c) != nullptr) {
                        out << table->horizontalHeaderItem(c)->text();
                    }
                    for (int r = 0; r < table->rowCount(); ++r) {
                        if (table->item(r, c) != nullptr) {
                            out << table->item(r, c)->text();
                        }
                    }
                }
            } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
                for (int c = 0; c < tree->columnCount(); ++c) {
                    out << tree->headerItem()->text(c);
                }
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                out << edit->placeholderText();
            }
        }
        out.removeAll(QString());
        return out;
    }

    QTemporaryDir dir_;
    CSettings settings_;
    test::RecordingPrompt prompt_;
    std::unique_ptr<test::CardRig> rig_;
    std::unique_ptr<CScreenFlowThread> flows_;
    std::unique_ptr<SettingsWindow> window_;
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
