#pragma once

#include <QByteArray>
#include <QObject>

#include <optional>

#include "storehttprequest.h"

class QTcpSocket;

// Reads HTTP/1.1 requests off one connection as their bytes arrive, one after
// the other while the client keeps the connection. The store writes every
// answer itself, byte by byte if a fault says so; this only reads. A request
// that cannot be read, or that is larger than the store takes, is answered
// here with its error status and the connection is closed.
class StoreHttpConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxHeadSize = 64 * 1024;
    static constexpr int MaxHeaderCount = 100;
    static constexpr qsizetype MaxBodySize = 1024 * 1024;

    // Lives as long as the socket, as its child.
    explicit StoreHttpConnection(QTcpSocket *socket);

signals:
    void requestReceived(const StoreHttpRequest &request);

private:
    void onReadyRead();
    // Reads the request line and header fields of head into m_pending;
    // returns the error status, or 0.
    int readHead(const QByteArray &head);
    void refuse(int status, const char *reason);

    QTcpSocket *m_socket;
    QByteArray m_buffer;
    // Its head is read; its body has bodySize bytes still to come.
    std::optional<StoreHttpRequest> m_pending;
    qsizetype m_bodySize = 0;
    bool m_refused = false;
};
