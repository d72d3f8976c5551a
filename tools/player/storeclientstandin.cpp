#include "storeclientstandin.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

const char StoreClientStandIn::serviceName[] = "com.corvex.SondrelService";

StoreClientStandIn::StoreClientStandIn(QObject *parent)
    : QObject(parent)
{
}

StoreClientStandIn::~StoreClientStandIn()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QStringLiteral("/"));
    bus.unregisterService(QLatin1String(serviceName));
}

bool StoreClientStandIn::registerOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(QLatin1String(serviceName)))
        return false;
    if (!bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportScriptableSlots))
        return false;
    if (!bus.registerService(QLatin1String(serviceName))) {
        bus.unregisterObject(QStringLiteral("/"));
        return false;
    }
    m_registered = true;
    return true;
}

bool StoreClientStandIn::isRegistered() const
{
    return m_registered;
}

void StoreClientStandIn::open(const QString &link)
{
    emit linkOpened(link);
}
