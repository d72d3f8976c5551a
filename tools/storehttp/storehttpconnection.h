#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QObject>

#include <optional>

#include "storehttprequest.h"

class QTcpSocket;
class QTimer;

// Reads HTTP/1.1 requests off one connection as their bytes arrive, one after
// the other while the client keeps the connection. The store writes every
// answer itself, byte by byte if a fault says so; this only reads. A request
// that cannot be read, or that is larger than the store takes, is answered
// here with its error status and the connection is closed.
//
// A client costs the store a bounded amount whatever it does: the next
// request is read only once the last one's answer is written and the client
// has taken all but MaxUnsentAnswer bytes of it (a client that sends requests
// and never reads holds one answer, not thousands), a head must be whole
// within the head time-out of its first byte (a client that drips it is
// dropped), and a connection that carries no request goes after the idle
// time-out.
class StoreHttpConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxHeadSize = 64 * 1024;
    static constexpr int MaxHeaderCount = 100;
    static constexpr qsizetype MaxBodySize = 1024 * 1024;
    static constexpr qint64 MaxUnsentAnswer = 256 * 1024;

    // Lives as long as the socket, as its child.
    StoreHttpConnection(QTcpSocket *socket, int headTimeoutMs, int idleTimeoutMs);

    QTcpSocket *socket() const { return m_socket; }
    // Waits for a request or reads one's head: nothing is lost when it goes.
    bool isIdle() const { return !m_busy; }
    // The whole answer to the last request is written: the connection ends
    // when the request asked for that, and reads on otherwise.
    void answerWritten();
    // Writes a whole answer with its length and tells the connection so.
    void respond(int status, const QByteArray &contentType, const QByteArray &body,
                 const QList<QPair<QByteArray, QByteArray>> &headers = {});

    // A status line and the header fields, with the empty line after them.
    static QByteArray head(int status, const QList<QPair<QByteArray, QByteArray>> &headers);

signals:
    void requestReceived(const StoreHttpRequest &request);

private:
    void onReadyRead();
    void onBytesWritten();
    void onDeadline();
    // Times the wait for the next request: the idle time-out until a byte of
    // it comes, the head time-out from then on.
    void awaitRequest();
    // Reads the request line and header fields of head into m_pending;
    // returns the error status, or 0.
    int readHead(const QByteArray &head);
    void refuse(int status);

    QTcpSocket *m_socket;
    QByteArray m_buffer;
    // Its head is read; its body has bodySize bytes still to come.
    std::optional<StoreHttpRequest> m_pending;
    qsizetype m_bodySize = 0;
    bool m_refused = false;
    // A request is being answered, or its answer waits for the client.
    bool m_busy = false;
    bool m_answerWritten = false;
    bool m_closesAfterAnswer = false;
    bool m_headStarted = false;
    const int m_headTimeoutMs;
    const int m_idleTimeoutMs;
    QTimer *m_deadline;
};
