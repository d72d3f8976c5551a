#include "httpfixtureserver.h"

#include <QBuffer>
#include <QColor>
#include <QHostAddress>
#include <QImage>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray header(const FixtureReply &reply)
{
    const QByteArray length = reply.endless
        ? QByteArray("Transfer-Encoding: chunked")
        : "Content-Length: " + QByteArray::number(reply.body.size());
    return "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status)
        + "\r\nContent-Type: " + reply.contentType + "\r\n" + length + "\r\n"
        + reply.extraHeaders + "Connection: close\r\n\r\n";
}

} // namespace

HttpFixtureServer::HttpFixtureServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpFixtureServer::handleConnection);
}

bool HttpFixtureServer::start()
{
    return m_server.listen(QHostAddress::LocalHost);
}

quint16 HttpFixtureServer::port() const
{
    return m_server.serverPort();
}

QString HttpFixtureServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpFixtureServer::setReply(const QString &target, const FixtureReply &reply)
{
    m_replies.insert(target, reply);
}

void HttpFixtureServer::setHandler(const Handler &handler)
{
    m_handler = handler;
}

int HttpFixtureServer::requestCount() const
{
    return m_requests.size();
}

int HttpFixtureServer::requestCount(const QString &target) const
{
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(),
                             [&target](const FixtureRequest &r) { return r.target == target.toUtf8(); }));
}

QList<FixtureRequest> HttpFixtureServer::requests() const
{
    return m_requests;
}

int HttpFixtureServer::heldCount() const
{
    return m_held.size();
}

void HttpFixtureServer::releaseHeld()
{
    const QList<Pending> held = std::exchange(m_held, {});
    for (const Pending &pending : held) {
        if (pending.socket)
            answer(pending.socket, pending.reply);
    }
}

QByteArray HttpFixtureServer::imageBytes(const QSize &size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void HttpFixtureServer::handleConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handleReadyRead(socket); });
    }
}

void HttpFixtureServer::handleReadyRead(QTcpSocket *socket)
{
    // One request per connection: every answer closes it.
    QByteArray buffered = socket->property("request").toByteArray() + socket->readAll();
    const int end = buffered.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("request", buffered);
        return;
    }
    socket->setProperty("request", QVariant());
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    const QList<QByteArray> lines = buffered.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    FixtureRequest request;
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                   lines.at(i).mid(colon + 1).trimmed());
    }
    m_requests.append(request);
    emit requestReceived(request.target);

    const FixtureReply reply = replyFor(request);
    if (reply.stall)
        return;
    if (reply.held) {
        m_held.append(Pending{socket, reply});
        return;
    }
    if (reply.delayMs > 0) {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(reply.delayMs, this, [this, guarded, reply] {
            if (guarded)
                answer(guarded, reply);
        });
        return;
    }
    answer(socket, reply);
}

FixtureReply HttpFixtureServer::replyFor(const FixtureRequest &request) const
{
    const auto found = m_replies.constFind(QString::fromUtf8(request.target));
    if (found != m_replies.constEnd())
        return *found;
    if (m_handler)
        return m_handler(request);
    FixtureReply notFound;
    notFound.status = 404;
    notFound.body = "not found";
    notFound.contentType = "text/plain";
    return notFound;
}

void HttpFixtureServer::answer(QTcpSocket *socket, const FixtureReply &reply)
{
    socket->write(header(reply));
    if (reply.dripIntervalMs > 0) {
        drip(socket, reply.body, reply.dripIntervalMs);
        return;
    }
    if (reply.endless) {
        repeatChunks(socket, reply.body);
        return;
    }
    if (reply.closeAfterBytes >= 0) {
        socket->write(reply.body.left(reply.closeAfterBytes));
        socket->disconnectFromHost();
        return;
    }
    socket->write(reply.body);
    socket->disconnectFromHost();
}

void HttpFixtureServer::drip(QTcpSocket *socket, const QByteArray &body, int interval)
{
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent] {
        if (*sent >= body.size()) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(body.mid((*sent)++, 1));
    });
    timer->start(interval);
}

void HttpFixtureServer::repeatChunks(QTcpSocket *socket, const QByteArray &body)
{
    const QByteArray chunk = QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n";
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, chunk] {
        // Only as fast as the client reads, so that the test's own memory stays small.
        if (socket->bytesToWrite() < 4 * chunk.size())
            socket->write(chunk);
    });
    timer->start(1);
}
