// The skin images, the bitmap buttons and the status panel.
#include <QAccessible>
#include <QAction>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "manager/core/Settings.h"
#include "manager/screens/CColorLabel.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/SkinImages.h"
#include "manager/screens/StatusPanel.h"
#include "manager/screens/TrayIcon.h"
#include "manager/screens/settings/CFlatButton.h"

using namespace velmo::manager;

namespace {

QImage Frame(int bitmap, int frames, int index) {
    const QPixmap strip = Skin(bitmap);
    const int h = strip.height() / frames;
    return strip.copy(0, index * h, strip.width(), h).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage Shot(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

// Colours that are all told apart.
QPalette FlatTestPalette() {
    QPalette palette;
    palette.setColor(QPalette::Light, QColor(255, 255, 255));
    palette.setColor(QPalette::Midlight, QColor(230, 230, 230));
    palette.setColor(QPalette::Button, QColor(212, 208, 200));
    palette.setColor(QPalette::Mid, QColor(128, 128, 128));
    palette.setColor(QPalette::Dark, QColor(64, 64, 64));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0));
    palette.setColor(QPalette::ButtonText, QColor(0, 0, 160));
    return palette;
}

// The test palette, on a font that draws text in its pen colour only.
void SetFlatTestLook(QWidget* widget) {
    widget->setPalette(FlatTestPalette());
    QFont font = widget->font();
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::NoAntialias);
    widget->setFont(font);
}

class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

}  // namespace

class SkinWidgetsTest : public QObject {
    Q_OBJECT
  private slots:
    void SkinImagesHaveTheirSizes_data();
    void SkinImagesHaveTheirSizes();
    void UnknownSkinIsNull();

    void TwoFrameButtonKeepsNormalFrameWhenDisabled();
    void ThreeFrameButtonShowsThirdFrameWhenDisabled();
    void MousePressShowsPressedFrameAndReleaseClicksOnce();
    void SpaceGivesExactlyOneClickDespiteAutoRepeat();
    void EnterClicksAndOtherKeysDoNot();

    void PanelStartsWithItsDefaults();
    void PanelSettersRepaintOnlyOnChange();
    void PanelPaintsOnlyAfterAChange();
    void PanelTextColourFollowsNotice();
    void PanelSignalOutsideRangeDrawsEmptyFrame();
    void PanelImagesByValue();

    void FlatColoursAreTruncatedHalfways();
    void FlatButtonRecolorsOnPaletteChange();
    void FlatButtonPaintsPressedAndDisabledLooks();
    void FlatButtonIsAPushButtonSizedForItsText();

    void ColorLabelPaintsItsColoursOnItsFont();

    void TrayMenuFollowsTheButtonsAndAsks();
};

void SkinWidgetsTest::SkinImagesHaveTheirSizes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    const struct {
        int id;
        QSize size;
    } rows[] = {
        {139, {335, 173}}, {150, {165, 133}}, {141, {15, 30}},   {142, {15, 30}},  {157, {40, 30}},
        {225, {40, 45}},   {241, {140, 120}}, {242, {140, 120}}, {151, {22, 104}}, {183, {26, 104}},
        {184, {19, 14}},   {152, {21, 13}},   {154, {70, 20}},   {155, {70, 20}},  {153, {70, 20}},
        {167, {70, 20}},   {164, {70, 20}},   {165, {70, 20}},   {182, {70, 20}},  {166, {70, 20}},
        {133, {320, 160}}, {178, {120, 26}},  {180, {120, 26}},  {181, {120, 26}}, {128, {64, 64}},
    };
    for (const auto& row : rows) {
        QTest::addRow("%d", row.id) << row.id << row.size;
    }
}

void SkinWidgetsTest::SkinImagesHaveTheirSizes() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    const QPixmap image = Skin(id);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    // Something is drawn: not every pixel is transparent.
    const QImage pixels = image.toImage().convertToFormat(QImage::Format_ARGB32);
    bool drawn = false;
    for (int y = 0; y < pixels.height() && !drawn; ++y) {
        for (int x = 0; x < pixels.width() && !drawn; ++x) {
            drawn = qAlpha(pixels.pixel(x, y)) != 0;
        }
    }
    QVERIFY(drawn);
}

void SkinWidgetsTest::UnknownSkinIsNull() {
    QVERIFY(Skin(999).isNull());
    QVERIFY(SkinPath(999).isEmpty());
}

void SkinWidgetsTest::TwoFrameButtonKeepsNormalFrameWhenDisabled() {
    QWidget parent;
    CSkinBitmapButton button(141, &parent, 101, 2, 282, 10);
    QCOMPARE(button.geometry(), QRect(282, 10, 15, 15));
    button.setEnabled(false);
    QCOMPARE(button.CurrentFrame(), 0);
    QCOMPARE(Shot(&button), Frame(141, 2, 0));
}

void SkinWidgetsTest::ThreeFrameButtonShowsThirdFrameWhenDisabled() {
    QWidget parent;
    CSkinBitmapButton button(241, &parent, 104, 3, 176, 117);
    QCOMPARE(button.geometry(), QRect(176, 117, 140, 40));
    QCOMPARE(Shot(&button), Frame(241, 3, 0));
    button.setEnabled(false);
    QCOMPARE(button.CurrentFrame(), 2);
    QCOMPARE(Shot(&button), Frame(241, 3, 2));
    QVERIFY(Frame(241, 3, 2) != Frame(241, 3, 0));
}

void SkinWidgetsTest::MousePressShowsPressedFrameAndReleaseClicksOnce() {
    QWidget parent;
    parent.resize(335, 173);
    auto* button = new CSkinBitmapButton(242, &parent, 105, 3, 176, 117);
    button->SetDrawFocus(false);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy clicks(button, &CSkinBitmapButton::clicked);

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(button->IsPressed());
    QVERIFY(button->hasFocus());
    QCOMPARE(Shot(button), Frame(242, 3, 1));
    QCOMPARE(clicks.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!button->IsPressed());
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 105);
    // With draw-focus on, the focused button carries its focus rectangle over the frame.
    button->SetDrawFocus(true);
    QVERIFY(Shot(button) != Frame(242, 3, 0));
    button->SetDrawFocus(false);
    QCOMPARE(Shot(button), Frame(242, 3, 0));
    // A release without a press does nothing.
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks.count(), 1);
}

void SkinWidgetsTest::SpaceGivesExactlyOneClickDespiteAutoRepeat() {
    QWidget parent;
    CSkinBitmapButton button(142, &parent, 102, 2, 301, 10);
    QSignalSpy clicks(&button, &CSkinBitmapButton::clicked);

    QTest::keyPress(&button, Qt::Key_Space);
    QVERIFY(button.IsPressed());
    QCOMPARE(button.CurrentFrame(), 1);
    // Held key: the system repeats release and press pairs marked as auto-repeat.
    for (int i = 0; i < 3; ++i) {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(&button, &release);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(&button, &press);
    }
    QCOMPARE(clicks.count(), 0);
    QTest::keyRelease(&button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 102);
    QVERIFY(!button.IsPressed());
}

void SkinWidgetsTest::EnterClicksAndOtherKeysDoNot() {
    QWidget parent;
    CSkinBitmapButton button(157, &parent, 106, 2, 237, 10);
    QSignalSpy clicks(&button, &CSkinBitmapButton::clicked);
    QTest::keyClick(&button, Qt::Key_A);
    QCOMPARE(clicks.count(), 0);
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter);
    QCOMPARE(clicks.count(), 2);
}

void SkinWidgetsTest::PanelStartsWithItsDefaults() {
    StatusPanel panel;
    QCOMPARE(panel.size(), QSize(165, 133));
    QCOMPARE(panel.StatusText(), QStringLiteral("Please wait..."));
    QCOMPARE(panel.NoticeText(), QStringLiteral(" "));
    QCOMPARE(panel.SignalLevel(), 0);
    QCOMPARE(panel.BatteryLevel(), 0);
    QCOMPARE(panel.NetworkImage(), -1);
    QCOMPARE(panel.ConnectionImage(), 3);
    QVERIFY(!panel.TrafficIndicator());
    QVERIFY(!panel.VoiceMailIcon());
    QCOMPARE(panel.ShownText(), QStringLiteral("Please wait..."));
}

void SkinWidgetsTest::PanelSettersRepaintOnlyOnChange() {
    StatusPanel panel;
    const int before = panel.RepaintRequests();
    QVERIFY(panel.SetStatusText(QStringLiteral("Gotowy")));
    QVERIFY(!panel.SetStatusText(QStringLiteral("Gotowy")));
    QVERIFY(panel.SetSignalLevel(5));
    QVERIFY(!panel.SetSignalLevel(5));
    QVERIFY(panel.SetBatteryLevel(6));
    QVERIFY(!panel.SetBatteryLevel(6));
    QVERIFY(panel.SetTrafficIndicator(true));
    QVERIFY(!panel.SetTrafficIndicator(true));
    QVERIFY(panel.SetVoiceMailIcon(true));
    QVERIFY(!panel.SetVoiceMailIcon(true));
    QVERIFY(panel.SetNetworkImage(4));
    QVERIFY(!panel.SetNetworkImage(4));
    QVERIFY(panel.SetConnectionImage(1));
    QVERIFY(!panel.SetConnectionImage(1));
    QVERIFY(panel.SetNoticeText(QStringLiteral("Poczta głosowa"), false));
    QVERIFY(!panel.SetNoticeText(QStringLiteral("Poczta głosowa"), false));
    // The same text with another colour is a change.
    QVERIFY(panel.SetNoticeText(QStringLiteral("Poczta głosowa"), true));
    QCOMPARE(panel.RepaintRequests() - before, 9);
    QCOMPARE(panel.SignalLevel(), 5);
    QCOMPARE(panel.BatteryLevel(), 6);
    QCOMPARE(panel.NetworkImage(), 4);
    QCOMPARE(panel.ConnectionImage(), 1);
}

void SkinWidgetsTest::PanelPaintsOnlyAfterAChange() {
    StatusPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_VERIFY(panel.PaintCount() > 0);
    QTest::qWait(20);
    const int painted = panel.PaintCount();
    panel.SetStatusText(QStringLiteral("Please wait..."));
    QTest::qWait(50);
    QCOMPARE(panel.PaintCount(), painted);
    panel.SetStatusText(QStringLiteral("Brak sieci"));
    QTRY_COMPARE(panel.PaintCount(), painted + 1);
}

void SkinWidgetsTest::PanelTextColourFollowsNotice() {
    StatusPanel panel;
    panel.SetStatusText(QStringLiteral("Gotowy"));
    QCOMPARE(panel.ShownTextColour(), QColor(180, 180, 255));
    panel.SetNoticeText(QStringLiteral("Telefon w użyciu"), false);
    QCOMPARE(panel.ShownText(), QStringLiteral("Telefon w użyciu"));
    QCOMPARE(panel.ShownTextColour(), QColor(255, 255, 50));
    panel.SetNoticeText(QStringLiteral("Niski poziom baterii"), true);
    QCOMPARE(panel.ShownTextColour(), QColor(255, 0, 0));
    panel.SetNoticeText(QStringLiteral(" "), false);
    QCOMPARE(panel.ShownText(), QStringLiteral("Gotowy"));
    QCOMPARE(panel.ShownTextColour(), QColor(180, 180, 255));
}

void SkinWidgetsTest::PanelSignalOutsideRangeDrawsEmptyFrame() {
    StatusPanel panel;
    const QRect bars(9, 8, 22, 13);
    const QImage empty = panel.Compose().toImage().copy(bars);
    panel.SetSignalLevel(7);
    const QImage full = panel.Compose().toImage().copy(bars);
    QVERIFY(full != empty);
    panel.SetSignalLevel(8);
    QCOMPARE(panel.Compose().toImage().copy(bars), empty);
    panel.SetSignalLevel(-1);
    QCOMPARE(panel.Compose().toImage().copy(bars), empty);
}

void SkinWidgetsTest::PanelImagesByValue() {
    QCOMPARE(StatusPanel::NetworkBitmap(2), 154);
    QCOMPARE(StatusPanel::NetworkBitmap(3), 155);
    QCOMPARE(StatusPanel::NetworkBitmap(4), 153);
    QCOMPARE(StatusPanel::NetworkBitmap(0), 167);
    QCOMPARE(StatusPanel::NetworkBitmap(-1), 167);
    QCOMPARE(StatusPanel::ConnectionBitmap(0), 164);
    QCOMPARE(StatusPanel::ConnectionBitmap(1), 165);
    QCOMPARE(StatusPanel::ConnectionBitmap(2), 182);
    QCOMPARE(StatusPanel::ConnectionBitmap(3), 166);

    // The icons appear only while on, at their places.
    StatusPanel panel;
    const QRect voiceMail(80, 8, 19, 14);
    const QRect traffic(37, 8, 21, 13);
    const QImage before = panel.Compose().toImage();
    panel.SetVoiceMailIcon(true);
    const QImage withMail = panel.Compose().toImage();
    QVERIFY(withMail.copy(voiceMail) != before.copy(voiceMail));
    QCOMPARE(withMail.copy(traffic), before.copy(traffic));
    panel.SetTrafficIndicator(true);
    QVERIFY(panel.Compose().toImage().copy(traffic) != before.copy(traffic));
    panel.SetVoiceMailIcon(false);
    panel.SetTrafficIndicator(false);
    QCOMPARE(panel.Compose().toImage(), before);
}

void SkinWidgetsTest::FlatColoursAreTruncatedHalfways() {
    QPalette palette = FlatTestPalette();
    FlatButtonColours c = FlatColoursFor(palette);
    QCOMPARE(c.highlight, QColor(255, 255, 255));
    QCOMPARE(c.light, QColor(230, 230, 230));
    QCOMPARE(c.face, QColor(212, 208, 200));
    QCOMPARE(c.shadow, QColor(128, 128, 128));
    QCOMPARE(c.dark, QColor(64, 64, 64));
    QCOMPARE(c.frame, QColor(0, 0, 0));
    QCOMPARE(c.text, QColor(0, 0, 160));
    QCOMPARE(c.pressedFace, QColor(170, 168, 164));
    QCOMPARE(c.outerDark, QColor(96, 96, 96));
    // Each channel steps half the way from the first colour, rounded towards it: not (a + b) / 2.
    palette.setColor(QPalette::Button, QColor(255, 0, 1));
    palette.setColor(QPalette::Mid, QColor(0, 255, 0));
    palette.setColor(QPalette::Dark, QColor(255, 0, 255));
    c = FlatColoursFor(palette);
    QCOMPARE(c.pressedFace, QColor(128, 127, 1));
    QCOMPARE(c.outerDark, QColor(127, 128, 127));
}

void SkinWidgetsTest::FlatButtonRecolorsOnPaletteChange() {
    QWidget parent;
    parent.resize(200, 60);
    auto* button = new CFlatButton(QStringLiteral("Zastosuj"), &parent);
    button->setGeometry(10, 10, 120, 30);
    PaintCounter counter;
    button->installEventFilter(&counter);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTRY_VERIFY(counter.paints > 0);

    // From the application palette, which the button inherits...
    const QPalette original = QApplication::palette();
    QPalette appPalette = original;
    appPalette.setColor(QPalette::Button, QColor(10, 20, 30));
    QApplication::setPalette(appPalette);
    QTRY_COMPARE(button->Colours().face, QColor(10, 20, 30));
    QApplication::setPalette(original);
    QTRY_COMPARE(button->Colours(), FlatColoursFor(original));

    // ...and from its window's, with a repaint in the new colours.
    QTest::qWait(20);
    const int painted = counter.paints;
    SetFlatTestLook(&parent);
    QCOMPARE(button->Colours(), FlatColoursFor(FlatTestPalette()));
    QTRY_VERIFY(counter.paints > painted);
    QCOMPARE(Shot(button).pixelColor(8, 15), QColor(212, 208, 200));
}

void SkinWidgetsTest::FlatButtonPaintsPressedAndDisabledLooks() {
    QWidget parent;
    SetFlatTestLook(&parent);
    parent.resize(200, 60);
    auto* button = new CFlatButton(QStringLiteral("Zastosuj"), &parent);
    button->setGeometry(10, 10, 120, 30);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    const FlatButtonColours c = button->Colours();
    // Inside the focus rectangle, where only the face and the text are.
    const QRect inner(6, 6, 108, 18);
    const QPoint fill(8, 15);
    QSignalSpy clicks(button, &QPushButton::clicked);

    QImage shot = Shot(button);
    QCOMPARE(shot.pixelColor(fill), c.face);
    QCOMPARE(shot.pixelColor(60, 0), c.frame);
    QCOMPARE(shot.pixelColor(60, 1), c.highlight);
    QCOMPARE(shot.pixelColor(60, 28), c.shadow);
    QVERIFY(CountColour(shot, inner, c.text) > 0);

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(60, 15));
    QVERIFY(button->isDown());
    shot = Shot(button);
    QCOMPARE(shot.pixelColor(fill), c.pressedFace);
    QCOMPARE(shot.pixelColor(60, 1), c.outerDark);
    QCOMPARE(shot.pixelColor(60, 2), c.shadow);
    QVERIFY(CountColour(shot, inner, c.highlight) > 0);
    QCOMPARE(CountColour(shot, inner, c.text), 0);
    QCOMPARE(clicks.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(60, 15));
    QCOMPARE(clicks.count(), 1);
    // The focus the click gave is drawn 4 pixels in.
    QVERIFY(button->hasFocus());
    QVERIFY(CountColour(Shot(button), QRect(4, 4, 112, 1), c.text) > 0);

    button->setEnabled(false);
    shot = Shot(button);
    QCOMPARE(shot.pixelColor(fill), c.face);
    QCOMPARE(shot.pixelColor(60, 0), c.shadow);
    QCOMPARE(shot.pixelColor(60, 1), c.face);
    QVERIFY(CountColour(shot, inner, c.shadow) > 0);
    QCOMPARE(CountColour(shot, inner, c.text), 0);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(60, 15));
    QCOMPARE(clicks.count(), 1);
}

void SkinWidgetsTest::FlatButtonIsAPushButtonSizedForItsText() {
    QWidget parent;
    auto* button = new CFlatButton(QStringLiteral("Zastosuj"), &parent);
    QSignalSpy clicks(button, &QPushButton::clicked);
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(button);
    QVERIFY(access);
    QCOMPARE(access->role(), QAccessible::Button);
    QCOMPARE(access->text(QAccessible::Name), QStringLiteral("Zastosuj"));
    QVERIFY(access->actionInterface());
    QVERIFY(access->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    // Pressed the way assistive tools press it: shown down for a moment, then one click.
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(clicks.count(), 1);

    // The hint follows the window's font and leaves room around the text.
    QFont font = parent.font();
    font.setPixelSize(12);
    parent.setFont(font);
    const QSize small = button->sizeHint();
    const QSize text = QFontMetrics(font).size(Qt::TextShowMnemonic, button->text());
    QVERIFY(small.width() >= text.width() + 8 && small.height() >= text.height() + 8);
    font.setPixelSize(24);
    parent.setFont(font);
    QVERIFY(button->sizeHint().width() > small.width());
    QVERIFY(button->sizeHint().height() > small.height());
}

void SkinWidgetsTest::ColorLabelPaintsItsColoursOnItsFont() {
    QWidget parent;
    SetFlatTestLook(&parent);
    parent.resize(200, 60);
    auto* label = new CColorLabel(QStringLiteral("<b>Sygnał</b>"), &parent);
    label->setGeometry(10, 10, 150, 40);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    // Unset colours are the window's text on the button face, and follow its palette.
    QCOMPARE(label->TextColour(), FlatTestPalette().color(QPalette::WindowText));
    QCOMPARE(Shot(label).pixelColor(1, 1), QColor(212, 208, 200));
    QPalette changed = parent.palette();
    changed.setColor(QPalette::Button, QColor(1, 2, 3));
    parent.setPalette(changed);
    QTRY_COMPARE(Shot(label).pixelColor(1, 1), QColor(1, 2, 3));

    label->SetBackground(QColor(10, 20, 30));
    label->SetTextColour(QColor(250, 0, 0));
    label->setFont(parent.font());  // drawn without antialiasing, so the text is in its colour exactly
    const QImage shot = Shot(label);
    QCOMPARE(shot.pixelColor(1, 1), QColor(10, 20, 30));
    QVERIFY(CountColour(shot, label->rect(), QColor(250, 0, 0)) > 0);
    parent.setPalette(FlatTestPalette());
    QCOMPARE(label->Background(), QColor(10, 20, 30));

    // The application's font at another height.
    label->SetFontHeight(30);
    QCOMPARE(label->font().pixelSize(), 30);
    QCOMPARE(label->font().family(), QApplication::font().family());
    QVERIFY(label->sizeHint().height() >= 30);
}

// The tray's menu enables what the window's buttons would take, and its actions only ask.
void SkinWidgetsTest::TrayMenuFollowsTheButtonsAndAsks() {
    CTrayIcon tray;
    const QStringList texts = [&] {
        QStringList out;
        for (QAction* a : tray.Menu()->actions()) {
            if (!a->isSeparator()) {
                out << a->text();
            }
        }
        return out;
    }();
    QCOMPARE(texts, (QStringList{"Połącz", "Rozłącz", "Pokaż okno", "Ustawienia", "Zakończ"}));
    ModemSnapshot s;
    s.connectionState = kConnReady;
    s.statusText = QStringLiteral("Gotowy");
    s.linkType = kLinkUsb;
    s.signalBars = 3;
    s.connectEnabled = true;
    tray.Update(s, 0);
    QVERIFY(tray.ConnectAction()->isEnabled());
    QVERIFY(!tray.DisconnectAction()->isEnabled());
    QVERIFY(!tray.SettingsAction()->isEnabled());
    QCOMPARE(tray.Look(), (TrayLook{TrayState::Ready, 3}));
    QVERIFY(tray.ToolTip().contains(QStringLiteral("Gotowy")));
    s.menuShown = true;
    s.connectionState = kConnConnected;
    s.connectEnabled = false;
    s.disconnectEnabled = true;
    tray.Update(s, 0);
    QVERIFY(!tray.ConnectAction()->isEnabled());
    QVERIFY(tray.DisconnectAction()->isEnabled());
    QVERIFY(tray.SettingsAction()->isEnabled());
    QCOMPARE(tray.Look().state, TrayState::Connected);

    QSignalSpy disconnect(&tray, &CTrayIcon::disconnectRequested);
    QSignalSpy quit(&tray, &CTrayIcon::quitRequested);
    tray.DisconnectAction()->trigger();
    tray.QuitAction()->trigger();
    QCOMPARE(disconnect.count(), 1);
    QCOMPARE(quit.count(), 1);
    // The offscreen desktop has no tray: the icon stays away and nothing else changes.
    tray.SetShown(true);
    QCOMPARE(tray.Shown(), QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(!TrayIconFor(tray.Look()).pixmap(22).isNull());
}

QTEST_MAIN(SkinWidgetsTest)
#include "SkinWidgetsTest.moc"
