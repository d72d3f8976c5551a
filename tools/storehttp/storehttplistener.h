#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include "storehttprequest.h"

class StoreHttpConnection;

// Takes HTTP connections on 127.0.0.1 and hands on each request with the
// connection that carried it. Connections are bounded: at half the
// descriptors the process may still open when the listener is made (at most
// 1024), the oldest connection that carries no request makes room for a new
// one, and with none to spare the next clients wait in the system's queue.
class StoreHttpListener : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultHeadTimeoutMs = 10000;
    static constexpr int DefaultIdleTimeoutMs = 30000;

    explicit StoreHttpListener(QObject *parent = nullptr);

    // Port 0 takes a free port. On failure the reason is warned about, with
    // who, and kept in errorString().
    bool start(quint16 port, const char *who);
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_port; }
    QString baseUrl() const;

    // How long a request's head may take from its first byte, and how long
    // a connection may carry no request.
    void setTimeouts(int headTimeoutMs, int idleTimeoutMs);

signals:
    void requestReceived(const StoreHttpRequest &request, StoreHttpConnection *connection);

private:
    void onNewConnection();
    void onAcceptError();
    void resumeAccepting();
    // Aborts the oldest connection that carries no request; false when every one does.
    bool dropOldestIdle();

    // In the order they came.
    QList<QPointer<StoreHttpConnection>> m_connections;
    int m_maxConnections = 0;
    int m_headTimeoutMs = DefaultHeadTimeoutMs;
    int m_idleTimeoutMs = DefaultIdleTimeoutMs;
    quint16 m_port = 0;
    // Last, so that the connections go, with what waits on them, before
    // anything they use.
    QTcpServer m_server;
};
