#include "fakestoreclient.h"

const QString FakeStoreClient::ServiceName = QStringLiteral("com.corvex.SondrelService");
const QString FakeStoreClient::OpenInterface = QStringLiteral("com.corvex.SondrelService.OpenInterface");
const QString FakeStoreClient::ConnectionName = QStringLiteral("fake-store-client");

FakeStoreClient::~FakeStoreClient()
{
    if (m_bus.isConnected()) {
        m_bus.unregisterObject(QStringLiteral("/"));
        QDBusConnection::disconnectFromBus(ConnectionName);
    }
}

bool FakeStoreClient::start()
{
    m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, ConnectionName);
    return m_bus.isConnected() && m_bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath);
}

bool FakeStoreClient::registerService()
{
    return m_bus.registerService(ServiceName);
}

bool FakeStoreClient::unregisterService()
{
    return m_bus.unregisterService(ServiceName);
}

QStringList FakeStoreClient::links() const
{
    QStringList links;
    for (const QDBusMessage &call : m_calls) {
        if (call.type() == QDBusMessage::MethodCallMessage && call.path() == QLatin1String("/")
            && call.interface() == OpenInterface && call.member() == QLatin1String("open")
            && call.signature() == QLatin1String("s")) {
            links.append(call.arguments().constFirst().toString());
        }
    }
    return links;
}

QString FakeStoreClient::introspect(const QString &) const
{
    return {};
}

bool FakeStoreClient::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    m_calls.append(message);
    if (!m_silent)
        connection.send(message.createReply());
    return true;
}
