#include "systemnetworkinfo.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMap>
#include <QVariantMap>

namespace {
constexpr QLatin1String ModemManagerService("org.freedesktop.ModemManager1");
constexpr QLatin1String ModemManagerPath("/org/freedesktop/ModemManager1");
constexpr QLatin1String ModemInterface("org.freedesktop.ModemManager1.Modem");
constexpr QLatin1String SimInterface("org.freedesktop.ModemManager1.Sim");
constexpr QLatin1String ManagedObjectsSignature("a{oa{sa{sv}}}");
const char DefaultSystemBusAddress[] = "unix:path=/var/run/dbus/system_bus_socket";
// A handset has a SIM slot or two; a service that names more is not asked of them all.
const int MaxSims = 8;

using ManagedObjects = QMap<QDBusObjectPath, QMap<QString, QVariantMap>>;

QDBusConnection systemBus()
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS",
                                                 QString::fromLatin1(DefaultSystemBusAddress));
    // Named after the address, so a process whose system bus moves gets a new
    // connection instead of the cached one.
    const QString name = QStringLiteral("vellora-systeminfo ") + address;
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        // Forget the failure, so a bus that comes up later is found.
        QDBusConnection::disconnectFromBus(name);
    }
    return bus;
}

QDBusMessage modemManagerCall(const QString &path, const QString &interface,
                              const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
            QDBusMessage::createMethodCall(ModemManagerService, path, interface, method);
    message.setArguments(arguments);
    // A missing modem service means no SIM, not a reason to start one.
    message.setAutoStartService(false);
    return message;
}

QList<QDBusObjectPath> simPaths(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != ManagedObjectsSignature)
        return {};

    ManagedObjects objects;
    reply.arguments().constFirst().value<QDBusArgument>() >> objects;

    QList<QDBusObjectPath> paths;
    for (const auto &interfaces : std::as_const(objects)) {
        const auto modem = interfaces.constFind(ModemInterface);
        if (modem == interfaces.constEnd())
            continue;
        const QVariant sim = modem->value(QStringLiteral("Sim"));
        if (sim.metaType() != QMetaType::fromType<QDBusObjectPath>())
            continue;
        const QDBusObjectPath path = sim.value<QDBusObjectPath>();
        // ModemManager names "/" when the modem holds no SIM.
        if (path.path() != QLatin1String("/"))
            paths.append(path);
    }
    return paths;
}

// The operator id is the MCC (three digits) followed by a two- or three-digit MNC.
QString countryCodeOf(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("v"))
        return {};
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    if (value.metaType() != QMetaType::fromType<QString>())
        return {};

    const QString operatorId = value.toString();
    if (operatorId.size() < 5 || operatorId.size() > 6)
        return {};
    for (const QChar c : operatorId) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    return operatorId.left(3);
}
} // namespace

SystemNetworkInfo::SystemNetworkInfo(QObject *parent) : QObject(parent) { }

QString SystemNetworkInfo::homeMobileCountryCode()
{
    const QDBusConnection bus = systemBus();
    if (!bus.isConnected())
        return {};

    const QDBusMessage managed = bus.call(
            modemManagerCall(ModemManagerPath, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                             QStringLiteral("GetManagedObjects"), {}),
            QDBus::Block, m_timeout);

    // All SIMs are asked at once, so that however many never answer, the
    // caller waits for one time-out, not for one each.
    const QList<QDBusObjectPath> sims = simPaths(managed).mid(0, MaxSims);
    QList<QDBusPendingCall> calls;
    for (const QDBusObjectPath &sim : sims) {
        calls.append(bus.asyncCall(
                modemManagerCall(sim.path(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("Get"),
                                 { SimInterface, QStringLiteral("OperatorIdentifier") }),
                m_timeout));
    }
    for (QDBusPendingCall &call : calls) {
        call.waitForFinished();
        const QString code = countryCodeOf(call.reply());
        if (!code.isEmpty())
            return code;
    }
    return {};
}

int SystemNetworkInfo::timeout() const
{
    return m_timeout;
}

void SystemNetworkInfo::setTimeout(int milliseconds)
{
    // Zero or less would mean the bus library's own, much longer wait.
    m_timeout = qMax(1, milliseconds);
}
