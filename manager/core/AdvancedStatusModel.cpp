#include "AdvancedStatusModel.h"

#include <cstring>

#include "PrefMode.h"

namespace velmo::manager {

namespace {

constexpr int kFieldCount = 15;

QString WithText(int value, const QString& text) {
    return text.isEmpty() ? QString::number(value) : QStringLiteral("%1 %2").arg(value).arg(text);
}

QString RfModeName(int mode) {
    switch (mode) {
        case 0:
            return QStringLiteral("Analog");
        case 1:
            return QStringLiteral("Cellular");
        case 2:
            return QStringLiteral("PCN");
        case 3:
            return QStringLiteral("Sleep");
        case 4:
            return QStringLiteral("GPS");
        case 5:
            return QStringLiteral("HDR");
        default:
            return QString();
    }
}

QString SystemStateName(int state) {
    switch (state) {
        case 0:
            return QStringLiteral("power-down");
        case 3:
            return QStringLiteral("offline analog");
        case 4:
            return QStringLiteral("offline digital");
        case 5:
            return QStringLiteral("online digital");
        case 7:
            return QStringLiteral("reset");
        default:
            return QString();
    }
}

QString PacketStateName(int state) {
    switch (state) {
        case 0:
            return QStringLiteral("idle");
        case 1:
            return QStringLiteral("active");
        case 2:
            return QStringLiteral("dormant");
        default:
            return QStringLiteral("error");
    }
}

}  // namespace

std::vector<StatusField> AdvancedStatusFields(const ModemStatusRecord& status, int rfBlockAFirst,
                                              int packetState, QString* rfModeText) {
    std::vector<StatusField> fields;
    fields.reserve(kFieldCount);
    const uint16_t mode = status.NetworkKind;
    const int rssi = mode == prefmode::kModemEvdoOnly ? status.RssiEvdo : status.Rssi1x;
    fields.push_back({QStringLiteral("Rssi"), QStringLiteral("-%1 dBm").arg(rssi)});
    fields.push_back({QStringLiteral("Service"),
                      WithText(status.InService, status.InService == 1 ? QStringLiteral("in service")
                                                                       : QStringLiteral("no service"))});
    fields.push_back(
        {QStringLiteral("In Use"),
         WithText(status.InTraffic, status.InTraffic == 1 ? QStringLiteral("in traffic mode")
                                                          : QStringLiteral("not in traffic mode"))});
    QString roam;
    switch (status.Roam) {
        case 0:
            roam = QStringLiteral("off");
            break;
        case 1:
            roam = QStringLiteral("on");
            break;
        case 2:
            roam = QStringLiteral("flashing");
            break;
        default:
            break;
    }
    fields.push_back({QStringLiteral("Roam"), WithText(status.Roam, roam)});
    fields.push_back({QStringLiteral("SID"), QString::number(status.Sid)});
    fields.push_back({QStringLiteral("NID"), QString::number(status.Nid)});
    fields.push_back({QStringLiteral("Channel"), QString::number(status.Channel)});
    const QString modeName = RfModeName(status.RfMode);
    if (!modeName.isEmpty() && rfModeText != nullptr) {
        *rfModeText = modeName;
    }
    fields.push_back(
        {QStringLiteral("Rf Mode"), WithText(status.RfMode, rfModeText != nullptr ? *rfModeText : modeName)});
    QString pilot;
    if (status.PilotPn != 0) {
        pilot = QString::number(status.PilotPn);
    } else if (rfBlockAFirst != -1) {
        pilot = QString::number(rfBlockAFirst);
    }
    fields.push_back({QStringLiteral("Pilot Pn"), pilot});
    fields.push_back(
        {QStringLiteral("System State"), WithText(status.SystemState, SystemStateName(status.SystemState))});
    fields.push_back({QStringLiteral("PRL Ver"), QString::number(status.PrlVersion)});
    fields.push_back({QStringLiteral("CAI Rev"), QString::number(status.CaiRevision)});
    fields.push_back({QStringLiteral("FW Rev"), QString::asprintf("%1.1f", status.FirmwareRevision / 10.0)});
    const size_t swLength = strnlen(status.SoftwareRevision, sizeof(status.SoftwareRevision));
    fields.push_back({QStringLiteral("SW Rev"),
                      QString::fromLatin1(status.SoftwareRevision, static_cast<qsizetype>(swLength))});
    fields.push_back({QStringLiteral("Packet State"), WithText(packetState, PacketStateName(packetState))});
    return fields;
}

}  // namespace velmo::manager
