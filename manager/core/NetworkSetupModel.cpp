#include "NetworkSetupModel.h"

#include <QHostAddress>

#include "DeviceContext.h"
#include "Settings.h"
#include "Texts.h"

namespace velmo::manager {

namespace {
constexpr int kSchemeLength = 4;  // "app:"
}  // namespace

std::optional<AppCommand> AppCommandFor(const QString& address) {
    if (!address.startsWith(QLatin1String("app:"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    // Invalid UTF-8 after decoding becomes replacement characters.
    QString text = QUrl::fromPercentEncoding(address.mid(kSchemeLength).toUtf8());
    if (text == QLatin1String("Minimise")) {
        return AppCommand{AppCommandKind::Minimise, text};
    }
    if (text == QLatin1String("Beep")) {
        return AppCommand{AppCommandKind::Beep, text};
    }
    if (text.size() > kAppCommandMaxLength) {
        text.truncate(kAppCommandMaxLength);
        // Never leave half of a surrogate pair at the cut.
        if (text.back().isHighSurrogate()) {
            text.chop(1);
        }
    }
    return AppCommand{AppCommandKind::Unexpected, text};
}

std::optional<AppCommand> AppCommandFor(const QUrl& address) {
    return AppCommandFor(address.toString(QUrl::FullyEncoded));
}

QString UnitPageAddress(const QString& discovered, const QString& httpPort) {
    // The address comes from whichever host answered the discovery: only a plain IPv4 address goes into the
    // URL.
    const QHostAddress host(discovered);
    const bool usable = !discovered.isEmpty() && host.protocol() == QAbstractSocket::IPv4Protocol &&
                        host.toString() == discovered;
    QString address =
        QStringLiteral("http://") + (usable ? discovered : QString::fromLatin1(kDefaultUnitAddress));
    bool ok = false;
    const uint port = httpPort.toUInt(&ok);
    if (ok && port >= 1 && port <= 65535) {
        address += QLatin1Char(':') + QString::number(port);
    }
    return address;
}

std::optional<QString> NetworkSetupRefusal(int32_t connectionState, int32_t linkType) {
    if (connectionState == kConnDeviceFound) {
        return Tr::tr("Brak aktywnego połączenia Ethernet");
    }
    if (linkType != kLinkEthernet) {
        return Tr::tr("Opcja dostępna tylko przy połączeniu Ethernet");
    }
    return std::nullopt;
}

}  // namespace velmo::manager
