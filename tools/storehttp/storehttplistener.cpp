#include "storehttplistener.h"

#include <QDir>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

#include "storehttpconnection.h"

namespace {

// Half the descriptors the process may still open: the rest are the host's,
// when the server runs inside another program. Run out of descriptors, the
// event loop itself can stop taking connections until one ends.
int descriptorBoundConnections()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    const qsizetype open = QDir(QStringLiteral("/proc/self/fd")).count();
    return int(qBound(qint64(1), (qint64(limit.rlim_cur) - open) / 2, qint64(1024)));
}

} // namespace

StoreHttpListener::StoreHttpListener(QObject *parent)
    : QObject(parent), m_maxConnections(descriptorBoundConnections()), m_server(this)
{
    connect(&m_server, &QTcpServer::newConnection, this, &StoreHttpListener::onNewConnection);
    connect(&m_server, &QTcpServer::acceptError, this, &StoreHttpListener::onAcceptError);
}

bool StoreHttpListener::start(quint16 port, const char *who)
{
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        qWarning("%s: cannot listen on 127.0.0.1:%u: %s", who, port,
                 qPrintable(m_server.errorString()));
        return false;
    }
    m_port = m_server.serverPort();
    return true;
}

QString StoreHttpListener::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void StoreHttpListener::setTimeouts(int headTimeoutMs, int idleTimeoutMs)
{
    m_headTimeoutMs = headTimeoutMs;
    m_idleTimeoutMs = idleTimeoutMs;
}

void StoreHttpListener::onNewConnection()
{
    while (m_server.hasPendingConnections()) {
        m_connections.removeAll(nullptr);
        if (m_connections.size() >= m_maxConnections && !dropOldestIdle()) {
            // Every connection carries a request: the next clients wait in
            // the system's queue until one of them ends.
            m_server.pauseAccepting();
            return;
        }
        QTcpSocket *socket = m_server.nextPendingConnection();
        auto *connection = new StoreHttpConnection(socket, m_headTimeoutMs, m_idleTimeoutMs);
        m_connections.append(connection);
        connect(connection, &StoreHttpConnection::requestReceived, this,
                [this, connection](const StoreHttpRequest &request) {
                    emit requestReceived(request, connection);
                });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, &StoreHttpListener::resumeAccepting,
                Qt::QueuedConnection);
    }
}

// Out of descriptors, the listening socket stays readable: taking connections
// again at once would spin on the failing accept. The oldest idle
// connection gives its descriptor to the next client; with none to give,
// the next try comes 100 ms later.
void StoreHttpListener::onAcceptError()
{
    m_server.pauseAccepting();
    QTimer::singleShot(dropOldestIdle() ? 0 : 100, this, &StoreHttpListener::resumeAccepting);
}

void StoreHttpListener::resumeAccepting()
{
    m_connections.removeAll(nullptr);
    if (m_connections.size() < m_maxConnections && m_server.isListening()) {
        m_server.resumeAccepting();
        onNewConnection();
    }
}

bool StoreHttpListener::dropOldestIdle()
{
    for (const QPointer<StoreHttpConnection> &connection : std::as_const(m_connections)) {
        if (connection && connection->isIdle()) {
            QTcpSocket *socket = connection->socket();
            m_connections.removeOne(connection);
            socket->abort();
            return true;
        }
    }
    return false;
}
