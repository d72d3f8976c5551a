#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// What the server does with one request.
struct FixtureReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/atom+xml";
    // Wait this long before answering.
    int delayMs = 0;
    // Keep the answer back until HttpFixtureServer::releaseHeld().
    bool held = false;
    // Read the request and never answer, keeping the connection open.
    bool stall = false;
    // Send the body one byte at a time, this far apart.
    int dripIntervalMs = 0;
    // Announce the whole body but close the connection after this many body bytes.
    int closeAfterBytes = -1;
    // Send the body as chunks again and again, without end and without a length.
    bool endless = false;
    // Further header lines, each ending in "\r\n".
    QByteArray extraHeaders;
};

struct FixtureRequest
{
    QByteArray method;
    // The request target as sent: a path, or an absolute URL when sent to a proxy.
    QByteArray target;
    QHash<QByteArray, QByteArray> headers;
};

// A small HTTP/1.1 server on 127.0.0.1 whose answers the test decides per request target.
class HttpFixtureServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<FixtureReply(const FixtureRequest &)>;

    explicit HttpFixtureServer(QObject *parent = nullptr);

    bool start();
    quint16 port() const;
    QString url(const QString &path) const;

    // Targets without a reply of their own get 404, unless a handler decides.
    void setReply(const QString &target, const FixtureReply &reply);
    void setHandler(const Handler &handler);

    int requestCount() const;
    int requestCount(const QString &target) const;
    QList<FixtureRequest> requests() const;
    int heldCount() const;
    void releaseHeld();

    static QByteArray imageBytes(const QSize &size, const char *format = "JPEG");

signals:
    void requestReceived(const QByteArray &target);

private:
    struct Pending
    {
        QPointer<QTcpSocket> socket;
        FixtureReply reply;
    };

    void handleConnection();
    void handleReadyRead(QTcpSocket *socket);
    FixtureReply replyFor(const FixtureRequest &request) const;
    void answer(QTcpSocket *socket, const FixtureReply &reply);
    void drip(QTcpSocket *socket, const QByteArray &body, int interval);
    void repeatChunks(QTcpSocket *socket, const QByteArray &body);

    QTcpServer m_server;
    QHash<QString, FixtureReply> m_replies;
    Handler m_handler;
    QList<FixtureRequest> m_requests;
    QList<Pending> m_held;
};
