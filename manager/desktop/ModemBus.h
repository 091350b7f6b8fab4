// VelmoManager for other programs: the object /com/brivanta/VelmoManager under the name
// com.brivanta.VelmoManager on the session bus, interface com.brivanta.VelmoManager.Modem (its adaptor is
// generated from com.brivanta.VelmoManager.Modem.xml). Properties are read from the snapshot the window
// thread publishes, so a read never waits for the modem; every change is announced with PropertiesChanged.
// Everything here runs on the window thread.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "manager/core/DesktopModel.h"
#include "manager/core/SmsModel.h"

namespace velmo::manager {

inline constexpr char kBusService[] = "com.brivanta.VelmoManager";
inline constexpr char kBusPath[] = "/com/brivanta/VelmoManager";
inline constexpr char kBusInterface[] = "com.brivanta.VelmoManager.Modem";

// What the bus object asks of the program, on the window thread.
class IModemBusHost {
  public:
    virtual ~IModemBusHost() = default;
    // The same requests and rules as the buttons: nothing when the request was taken, else why not.
    virtual std::optional<Refusal> RequestConnect() = 0;
    virtual std::optional<Refusal> RequestDisconnect() = 0;
    // Reads a box off the window thread; done runs later on the window thread with the rows, or with why
    // they could not be read. done may never run when the program closes first.
    using BoxDone = std::function<void(std::vector<smspane::SmsRow> rows, std::optional<Refusal> refusal)>;
    virtual void LoadBox(sms::Box box, BoxDone done) = 0;
};

class CModemBus : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(int ConnectionState READ ConnectionState)
    Q_PROPERTY(QString StatusText READ StatusText)
    Q_PROPERTY(QString NetworkType READ NetworkType)
    Q_PROPERTY(int SignalEvdoDbm READ SignalEvdoDbm)
    Q_PROPERTY(int Signal1xDbm READ Signal1xDbm)
    Q_PROPERTY(int BatteryPercent READ BatteryPercent)
    Q_PROPERTY(QString Esn READ Esn)
    Q_PROPERTY(int LinkType READ LinkType)

  public:
    CModemBus(IModemBusHost& host, const QDBusConnection& bus, QObject* parent = nullptr);
    // Unregisters; a ListMessages still waiting is answered with .Closing.
    ~CModemBus() override;

    // Takes the name and exports the object; false (why says what failed) when the bus is missing or the
    // name belongs to another program.
    bool Register(QString* why = nullptr);
    void Unregister();
    bool Registered() const { return registered_; }

    // The newest snapshot; properties that differ from the last one are announced.
    void Publish(const ModemSnapshot& snapshot);

    int ConnectionState() const { return snapshot_.connectionState; }
    QString StatusText() const { return snapshot_.statusText.trimmed(); }
    QString NetworkType() const { return snapshot_.networkType; }
    int SignalEvdoDbm() const { return snapshot_.evdoDbm; }
    int Signal1xDbm() const { return snapshot_.oneXDbm; }
    int BatteryPercent() const { return snapshot_.batteryPercent; }
    QString Esn() const { return snapshot_.esn; }
    int LinkType() const { return snapshot_.linkType; }

    // The properties by their bus names, as announced.
    static QVariantMap Properties(const ModemSnapshot& snapshot);

  public slots:
    void Connect();
    void Disconnect();
    QList<QVariantMap> ListMessages(const QString& box);

  private:
    void SendRefusal(const Refusal& refusal);
    void AnswerPending(uint32_t id, const std::vector<smspane::SmsRow>& rows,
                       const std::optional<Refusal>& refusal);

    IModemBusHost& host_;
    QDBusConnection bus_;
    bool registered_ = false;
    ModemSnapshot snapshot_;
    bool published_ = false;
    // ListMessages calls waiting for their box, by a number of their own.
    std::map<uint32_t, QDBusMessage> pending_;
    uint32_t nextId_ = 1;
};

}  // namespace velmo::manager
