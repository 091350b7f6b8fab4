#include "TrayIcon.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QSystemTrayIcon>

#include "manager/core/Texts.h"

namespace velmo::manager {

QIcon TrayIconFor(const TrayLook& look) {
    QSvgRenderer renderer(TrayIconSvg(look).toUtf8());
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent) {
    menu_.setTitle(AppCaption());
    menu_.setAccessibleName(Tr::tr("Menu ikony VelmoManager"));
    connect_ = menu_.addAction(Tr::tr("Połącz"), this, &CTrayIcon::connectRequested);
    disconnect_ = menu_.addAction(Tr::tr("Rozłącz"), this, &CTrayIcon::disconnectRequested);
    menu_.addSeparator();
    showWindow_ = menu_.addAction(Tr::tr("Pokaż okno"), this, &CTrayIcon::showWindowRequested);
    settings_ = menu_.addAction(Tr::tr("Ustawienia"), this, &CTrayIcon::settingsRequested);
    menu_.addSeparator();
    quit_ = menu_.addAction(Tr::tr("Zakończ"), this, &CTrayIcon::quitRequested);
    connect_->setEnabled(false);
    disconnect_->setEnabled(false);
    settings_->setEnabled(false);
}

CTrayIcon::~CTrayIcon() = default;

void CTrayIcon::SetShown(bool shown) {
    if (shown && icon_ == nullptr && QSystemTrayIcon::isSystemTrayAvailable()) {
        icon_ = std::make_unique<QSystemTrayIcon>();
        icon_->setContextMenu(&menu_);
        icon_->setIcon(TrayIconFor(look_));
        icon_->setToolTip(toolTip_);
        connect(icon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    if (why == QSystemTrayIcon::Trigger) {
                        emit toggleRequested();
                    }
                });
    }
    if (icon_ != nullptr) {
        icon_->setVisible(shown);
    }
    if (!shown) {
        icon_.reset();
    }
}

bool CTrayIcon::Shown() const {
    return icon_ != nullptr && icon_->isVisible();
}

void CTrayIcon::Update(const ModemSnapshot& snapshot, int64_t now) {
    const TrayLook look = TrayLookFor(snapshot);
    if (!lookSet_ || look != look_) {
        look_ = look;
        lookSet_ = true;
        if (icon_ != nullptr) {
            icon_->setIcon(TrayIconFor(look_));
        }
    }
    const QString tip = TrayTooltip(snapshot, now);
    if (tip != toolTip_) {
        toolTip_ = tip;
        if (icon_ != nullptr) {
            icon_->setToolTip(toolTip_);
        }
    }
    connect_->setEnabled(!ConnectRefusal(snapshot));
    disconnect_->setEnabled(!DisconnectRefusal(snapshot));
    settings_->setEnabled(snapshot.menuShown && !snapshot.closing);
    showWindow_->setEnabled(!snapshot.closing);
}

}  // namespace velmo::manager
