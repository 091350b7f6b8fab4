#include "ModemBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QLoggingCategory>
#include <QPointer>

#include "modembusadaptor.h"

namespace velmo::manager {

namespace {

Q_LOGGING_CATEGORY(lcBus, "velmo.manager.bus", QtWarningMsg)

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

std::optional<sms::Box> BoxNamed(const QString& name) {
    static constexpr struct {
        const char* name;
        sms::Box box;
    } kBoxes[] = {{"InBox", sms::Box::InBox},
                  {"SavedBox", sms::Box::SavedBox},
                  {"OutBox", sms::Box::OutBox},
                  {"DraftBox", sms::Box::DraftBox}};
    for (const auto& entry : kBoxes) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            return entry.box;
        }
    }
    return std::nullopt;
}

QVariantMap MessageMap(const smspane::SmsRow& row, bool inBox) {
    QVariantMap m{{QStringLiteral("index"), row.position},
                  {QStringLiteral("type"), row.type},
                  {QStringLiteral("time"), row.time},
                  {QStringLiteral("number"), row.number},
                  {QStringLiteral("text"), row.text}};
    if (inBox) {
        m.insert(QStringLiteral("status"), row.status);
    }
    return m;
}

QList<QVariantMap> MessageList(const std::vector<smspane::SmsRow>& rows, bool inBox) {
    QList<QVariantMap> list;
    list.reserve(static_cast<qsizetype>(rows.size()));
    for (const smspane::SmsRow& row : rows) {
        list.append(MessageMap(row, inBox));
    }
    return list;
}

}  // namespace

CModemBus::CModemBus(IModemBusHost& host, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), host_(host), bus_(bus) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
    new ModemAdaptor(this);
}

CModemBus::~CModemBus() {
    for (auto& [id, message] : pending_) {
        const Refusal closing = Refuse("Closing", QStringLiteral("VelmoManager is closing"));
        bus_.send(message.createErrorReply(closing.name, closing.message));
    }
    pending_.clear();
    Unregister();
}

bool CModemBus::Register(QString* why) {
    if (registered_) {
        return true;
    }
    if (!bus_.isConnected()) {
        if (why != nullptr) {
            *why = QStringLiteral("no session bus: ") + bus_.lastError().message();
        }
        return false;
    }
    if (!bus_.registerObject(QLatin1String(kBusPath), this, QDBusConnection::ExportAdaptors)) {
        if (why != nullptr) {
            *why = QStringLiteral("the object path is taken");
        }
        return false;
    }
    if (!bus_.registerService(QLatin1String(kBusService))) {
        if (why != nullptr) {
            *why = QStringLiteral("the name is taken: ") + bus_.lastError().message();
        }
        bus_.unregisterObject(QLatin1String(kBusPath));
        return false;
    }
    registered_ = true;
    return true;
}

void CModemBus::Unregister() {
    if (!registered_) {
        return;
    }
    bus_.unregisterService(QLatin1String(kBusService));
    bus_.unregisterObject(QLatin1String(kBusPath));
    registered_ = false;
}

QVariantMap CModemBus::Properties(const ModemSnapshot& s) {
    return {{QStringLiteral("ConnectionState"), s.connectionState},
            {QStringLiteral("StatusText"), s.statusText.trimmed()},
            {QStringLiteral("NetworkType"), s.networkType},
            {QStringLiteral("SignalEvdoDbm"), s.evdoDbm},
            {QStringLiteral("Signal1xDbm"), s.oneXDbm},
            {QStringLiteral("BatteryPercent"), s.batteryPercent},
            {QStringLiteral("Esn"), s.esn},
            {QStringLiteral("LinkType"), s.linkType}};
}

void CModemBus::Publish(const ModemSnapshot& snapshot) {
    const QVariantMap before = Properties(snapshot_);
    const QVariantMap after = Properties(snapshot);
    const bool first = !published_;
    snapshot_ = snapshot;
    published_ = true;
    if (!registered_ || first) {
        return;
    }
    QVariantMap changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kBusPath), QLatin1String(kPropertiesInterface), QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kBusInterface) << changed << QStringList();
    bus_.send(signal);
}

void CModemBus::SendRefusal(const Refusal& refusal) {
    qCDebug(lcBus) << "refused:" << refusal.name;
    if (calledFromDBus()) {
        sendErrorReply(refusal.name, refusal.message);
    }
}

void CModemBus::Connect() {
    if (const std::optional<Refusal> refusal = host_.RequestConnect()) {
        SendRefusal(*refusal);
    }
}

void CModemBus::Disconnect() {
    if (const std::optional<Refusal> refusal = host_.RequestDisconnect()) {
        SendRefusal(*refusal);
    }
}

QList<QVariantMap> CModemBus::ListMessages(const QString& boxName) {
    const std::optional<sms::Box> box = BoxNamed(boxName);
    if (!box) {
        SendRefusal(Refuse(
            "UnknownBox",
            QStringLiteral("No box is called \"%1\"; the boxes are InBox, SavedBox, OutBox and DraftBox")
                .arg(boxName)));
        return {};
    }
    if (!calledFromDBus()) {
        return {};
    }
    // Reading a box takes seconds: the answer goes out when the rows are there.
    setDelayedReply(true);
    const uint32_t id = nextId_++;
    pending_.emplace(id, message());
    QPointer<CModemBus> self(this);
    host_.LoadBox(*box, [self, id](std::vector<smspane::SmsRow> rows, std::optional<Refusal> refusal) {
        if (self != nullptr) {
            self->AnswerPending(id, rows, refusal);
        }
    });
    return {};
}

void CModemBus::AnswerPending(uint32_t id, const std::vector<smspane::SmsRow>& rows,
                              const std::optional<Refusal>& refusal) {
    const auto it = pending_.find(id);
    if (it == pending_.end()) {
        return;
    }
    const QDBusMessage call = it->second;
    pending_.erase(it);
    if (refusal) {
        bus_.send(call.createErrorReply(refusal->name, refusal->message));
        return;
    }
    const bool inBox = BoxNamed(call.arguments().value(0).toString()) == sms::Box::InBox;
    bus_.send(call.createReply(QVariant::fromValue(MessageList(rows, inBox))));
}

}  // namespace velmo::manager
