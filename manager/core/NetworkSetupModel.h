// The network setup window as plain functions: the unit's page address, whether the window may open, and the
// application commands that the unit's pages send through "app:" links.
#pragma once

#include <QString>
#include <QUrl>
#include <cstdint>
#include <optional>

namespace velmo::manager {

enum class AppCommandKind { Minimise, Beep, Unexpected };

struct AppCommand {
    AppCommandKind kind = AppCommandKind::Unexpected;
    // The command as decoded; shown to the user for an unexpected one.
    QString text;
    bool operator==(const AppCommand&) const = default;
};

// A page may send any text: what is shown of it is cut to this many characters.
inline constexpr int kAppCommandMaxLength = 200;

// The command of an address that starts with "app:" in any case; nullopt for every other address, which
// loads normally. The command names are compared exactly, after percent-decoding.
std::optional<AppCommand> AppCommandFor(const QString& address);
std::optional<AppCommand> AppCommandFor(const QUrl& address);

// Where the unit serves its pages when the discovery gave no usable address.
inline constexpr char kDefaultUnitAddress[] = "192.168.0.1";

// "http://" and the discovered address (a plain IPv4 address, else the default), with ":port" when httpPort
// is a port number (VELMO_UNIT_HTTP_PORT, so that the stand-in's pages on loopback are reached).
QString UnitPageAddress(const QString& discovered, const QString& httpPort);

// Why the network setup window does not open for this connection state and link type; nullopt: it opens.
std::optional<QString> NetworkSetupRefusal(int32_t connectionState, int32_t linkType);

}  // namespace velmo::manager
