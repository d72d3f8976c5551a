#include "fakestoreclient.h"

const QString FakeStoreClient::ServiceName = QStringLiteral("com.corvex.SondrelService");
const QString FakeStoreClient::OpenInterface =
        QStringLiteral("com.corvex.SondrelService.OpenInterface");
const QString FakeStoreClient::ConnectionName = QStringLiteral("fake-store-client");

namespace {

bool isOpenCall(const QDBusMessage &call)
{
    return call.type() == QDBusMessage::MethodCallMessage && call.path() == QLatin1String("/")
            && call.interface() == FakeStoreClient::OpenInterface
            && call.member() == QLatin1String("open") && call.signature() == QLatin1String("s");
}

} // namespace

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
    return m_bus.isConnected()
            && m_bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath);
}

bool FakeStoreClient::registerService()
{
    m_registered = m_bus.registerService(ServiceName);
    return m_registered;
}

bool FakeStoreClient::unregisterService()
{
    m_registered = false;
    return m_bus.unregisterService(ServiceName);
}

QString FakeStoreClient::introspect(const QString &) const
{
    return {};
}

bool FakeStoreClient::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    ++m_callCount;
    if (!m_silent)
        connection.send(message.createReply());
    if (!isOpenCall(message))
        return true;
    const QString link = message.arguments().constFirst().toString();
    m_links.append(link);
    if (m_links.size() > KeptLinks)
        m_links.removeFirst();
    emit linkOpened(link);
    return true;
}
