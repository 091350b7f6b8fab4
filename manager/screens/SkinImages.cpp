#include "SkinImages.h"

#include <QApplication>
#include <QFile>
#include <QFont>

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "manager/core/Language.h"

// A static library's resources are only linked in when something names them.
static void InitSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace velmo::manager {

namespace {

struct SkinEntry {
    int id;
    const char* file;
};

constexpr SkinEntry kSkinFiles[] = {
    {128, "128-app-icon.svg"},          {133, "133-splash.svg"},        {139, "139-background.svg"},
    {141, "141-minimize.svg"},          {142, "142-close.svg"},         {150, "150-panel.svg"},
    {151, "151-signal-strip.svg"},      {152, "152-traffic.svg"},       {153, "153-network-evdo.svg"},
    {154, "154-network-1x.svg"},        {155, "155-network-1xrtt.svg"}, {157, "157-menu.svg"},
    {164, "164-link-ethernet.svg"},     {165, "165-link-usb-auto.svg"}, {166, "166-link-none.svg"},
    {167, "167-network-none.svg"},      {178, "178-notice-in-use.svg"}, {180, "180-notice-incoming.svg"},
    {181, "181-notice-voice-mail.svg"}, {182, "182-link-usb-port.svg"}, {183, "183-battery-strip.svg"},
    {184, "184-voice-mail.svg"},        {225, "225-menu-disabled.svg"}, {241, "241-connect.svg"},
    {242, "242-disconnect.svg"},
};

}  // namespace

QString SkinPath(int id) {
    for (const SkinEntry& entry : kSkinFiles) {
        if (entry.id == id) {
            // Images with words on them have an English drawing besides the Polish one.
            if (CurrentLanguage() == UiLanguage::English) {
                const QString english = QStringLiteral(":/skin/en/") + QLatin1String(entry.file);
                if (QFile::exists(english)) {
                    return english;
                }
            }
            return QStringLiteral(":/skin/") + QLatin1String(entry.file);
        }
    }
    return QString();
}

QPixmap Skin(int id) {
    // Widgets live on the window thread only, so the cache needs no lock.
    static QHash<QString, QPixmap> cache;
    static const bool initialised = [] {
        InitSkinResources();
        return true;
    }();
    (void)initialised;

    const QString path = SkinPath(id);
    const auto found = cache.constFind(path);
    if (found != cache.constEnd()) {
        return *found;
    }
    QPixmap pixmap;
    if (!path.isEmpty()) {
        QSvgRenderer renderer(path);
        if (renderer.isValid() && !renderer.defaultSize().isEmpty()) {
            pixmap = QPixmap(renderer.defaultSize());
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            renderer.render(&painter);
        }
    }
    cache.insert(path, pixmap);
    return pixmap;
}

void SetApplicationFont() {
    QFont font(QStringLiteral("Sans Serif"), -1, QFont::Normal);
    font.setPixelSize(12);
    QApplication::setFont(font);
}

}  // namespace velmo::manager
