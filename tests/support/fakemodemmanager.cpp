#include "fakemodemmanager.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMutexLocker>

namespace {

const QString ConnectionName = QStringLiteral("fake-modem-manager");
const QString ModemInterface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString SimInterface = QStringLiteral("org.freedesktop.ModemManager1.Sim");

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

} // namespace

const QString FakeModemManager::ServiceName = QStringLiteral("org.freedesktop.ModemManager1");
const QString FakeModemManager::Path = QStringLiteral("/org/freedesktop/ModemManager1");

QString FakeModemManager::simPath(int n)
{
    return Path + QStringLiteral("/SIM/") + QString::number(n);
}

FakeModemManager::FakeModemManager()
    : m_sims { QVariant::fromValue(QDBusObjectPath(simPath(0))) },
      m_operatorIds { { simPath(0), QStringLiteral("24405") } }
{ }

FakeModemManager::~FakeModemManager()
{
    if (m_bus.isConnected())
        QDBusConnection::disconnectFromBus(ConnectionName);
    m_thread.quit();
    m_thread.wait();
}

bool FakeModemManager::start(const QString &busAddress)
{
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();
    m_bus = QDBusConnection::connectToBus(busAddress, ConnectionName);
    if (!m_bus.isConnected() || !m_bus.registerVirtualObject(Path, this, QDBusConnection::SubPath))
        return false;
    moveToThread(&m_thread);
    m_thread.start();
    return true;
}

bool FakeModemManager::registerService()
{
    return m_bus.registerService(ServiceName);
}

bool FakeModemManager::unregisterService()
{
    return m_bus.unregisterService(ServiceName);
}

void FakeModemManager::setModems(const QVariantList &sims)
{
    QMutexLocker locker(&m_mutex);
    m_sims = sims;
}

void FakeModemManager::setOperatorIds(const QVariantMap &operatorIds)
{
    QMutexLocker locker(&m_mutex);
    m_operatorIds = operatorIds;
}

void FakeModemManager::setSilentMethods(const QSet<QString> &methods)
{
    QMutexLocker locker(&m_mutex);
    m_silentMethods = methods;
}

QString FakeModemManager::introspect(const QString &) const
{
    return {};
}

bool FakeModemManager::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    QMutexLocker locker(&m_mutex);
    if (m_silentMethods.contains(message.member()))
        return true;
    if (message.path() == Path && message.member() == QLatin1String("GetManagedObjects")) {
        ManagedObjects objects;
        for (int i = 0; i < m_sims.size(); ++i) {
            QVariantMap modem { { QStringLiteral("Manufacturer"), QStringLiteral("Fake") } };
            if (m_sims.at(i).isValid())
                modem.insert(QStringLiteral("Sim"), m_sims.at(i));
            objects.insert(QDBusObjectPath(Path + QStringLiteral("/Modem/") + QString::number(i)),
                           { { ModemInterface, modem } });
        }
        connection.send(message.createReply(QVariant::fromValue(objects)));
        return true;
    }
    const QVariantList args = message.arguments();
    if (message.member() == QLatin1String("Get") && args.size() == 2 && args.at(0) == SimInterface
        && args.at(1) == QLatin1String("OperatorIdentifier")
        && m_operatorIds.contains(message.path())) {
        const QVariant id = m_operatorIds.value(message.path());
        connection.send(id.isValid() ? message.createReply(QVariant::fromValue(QDBusVariant(id)))
                                     : message.createReply());
        return true;
    }
    connection.send(message.createErrorReply(QDBusError::UnknownObject, message.path()));
    return true;
}
