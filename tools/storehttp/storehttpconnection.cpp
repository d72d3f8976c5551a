#include "storehttpconnection.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c <= ' ' || c >= 0x7f || QByteArrayView("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    }
    return true;
}

bool isDigits(const QByteArray &text)
{
    return !text.isEmpty()
            && std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

QByteArray reason(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 103:
        return "Early Hints";
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

} // namespace

QByteArray StoreHttpConnection::head(int status, const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    for (const auto &header : headers)
        head += header.first + ": " + header.second + "\r\n";
    return head + "\r\n";
}

void StoreHttpConnection::respond(int status, const QByteArray &contentType,
                                  const QByteArray &body,
                                  const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QList<QPair<QByteArray, QByteArray>> all = { { "Content-Type", contentType } };
    all += headers;
    all.append(qMakePair(QByteArray("Content-Length"), QByteArray::number(body.size())));
    if (m_closesAfterAnswer)
        all.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    m_socket->write(head(status, all));
    m_socket->write(body);
    answerWritten();
}

StoreHttpConnection::StoreHttpConnection(QTcpSocket *socket, int headTimeoutMs, int idleTimeoutMs)
    : QObject(socket),
      m_socket(socket),
      m_headTimeoutMs(headTimeoutMs),
      m_idleTimeoutMs(idleTimeoutMs),
      m_deadline(new QTimer(this))
{
    // What the client sends while a request is answered stays with the
    // system, which stops the client once its buffers are full.
    socket->setReadBufferSize(MaxHeadSize + 4);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &StoreHttpConnection::onDeadline);
    connect(socket, &QTcpSocket::readyRead, this, &StoreHttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &StoreHttpConnection::onBytesWritten);
    awaitRequest();
}

void StoreHttpConnection::answerWritten()
{
    if (m_closesAfterAnswer) {
        m_socket->disconnectFromHost();
        return;
    }
    m_answerWritten = true;
    onBytesWritten();
}

void StoreHttpConnection::onBytesWritten()
{
    if (!m_busy || !m_answerWritten || m_socket->bytesToWrite() > MaxUnsentAnswer)
        return;
    m_busy = false;
    m_answerWritten = false;
    awaitRequest();
    onReadyRead();
}

void StoreHttpConnection::awaitRequest()
{
    m_headStarted = !m_buffer.isEmpty() || m_socket->bytesAvailable() > 0;
    m_deadline->start(m_headStarted ? m_headTimeoutMs : m_idleTimeoutMs);
}

void StoreHttpConnection::onDeadline()
{
    if (m_busy)
        return;
    // A head that came too slowly is no request to answer; an idle one just ends.
    if (m_headStarted)
        m_socket->abort();
    else
        m_socket->disconnectFromHost();
}

void StoreHttpConnection::onReadyRead()
{
    if (!m_busy && !m_headStarted && m_socket->bytesAvailable() > 0) {
        m_headStarted = true;
        m_deadline->start(m_headTimeoutMs);
    }
    while (!m_refused && !m_busy) {
        // Never more than one request's head and body is kept.
        const qsizetype room =
                m_pending ? m_bodySize - m_buffer.size() : MaxHeadSize + 4 - m_buffer.size();
        if (room > 0)
            m_buffer += m_socket->read(room);
        if (m_pending) {
            if (m_buffer.size() < m_bodySize)
                return;
            StoreHttpRequest request = std::move(*m_pending);
            m_pending.reset();
            request.body = m_buffer.left(m_bodySize);
            m_buffer.remove(0, m_bodySize);
            m_busy = true;
            m_deadline->stop();
            m_closesAfterAnswer = !request.keepAlive;
            emit requestReceived(request);
            continue;
        }
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > MaxHeadSize)
                refuse(431);
            else if (m_socket->bytesAvailable() == 0)
                return;
            continue;
        }
        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end + 4);
        if (const int status = readHead(head); status != 0)
            refuse(status);
    }
}

int StoreHttpConnection::readHead(const QByteArray &head)
{
    // Every line ends in CR LF; a bare LF is not taken for a line's end.
    QList<QByteArray> lines = (head + '\r').split('\n');
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return 400;
        line.chop(1);
    }
    StoreHttpRequest request;
    const QList<QByteArray> requestLine = lines.first().split(' ');
    if (requestLine.size() != 3 || !isToken(requestLine.at(0))
        || (requestLine.at(2) != "HTTP/1.1" && requestLine.at(2) != "HTTP/1.0"))
        return 400;
    request.method = requestLine.at(0);
    const bool http11 = requestLine.at(2) == "HTTP/1.1";
    if (lines.size() - 1 > MaxHeaderCount)
        return 400;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || !isToken(line.left(colon)))
            return 400;
        request.headers.append({ line.left(colon), line.mid(colon + 1).trimmed() });
    }

    const QByteArray connection = request.value("Connection").toLower();
    request.keepAlive = http11 ? !connection.contains("close") : connection.contains("keep-alive");

    // The store takes no body in chunks; a body's length must be plain.
    if (!request.value("Transfer-Encoding").isEmpty())
        return 501;
    const QByteArray length = request.value("Content-Length");
    qsizetype bodySize = 0;
    if (!length.isEmpty()) {
        if (!isDigits(length) || length.size() > 9)
            return 400;
        bodySize = length.toLongLong();
        if (bodySize > MaxBodySize)
            return 413;
    }

    // A client asks its proxy with the whole address, and a server with the
    // path alone and the host in a field of its own.
    const QByteArray target = requestLine.at(1);
    if (target.startsWith('/')) {
        QByteArray host = request.value("Host");
        if (host.isEmpty())
            host = m_socket->localAddress().toString().toLatin1() + ':'
                    + QByteArray::number(m_socket->localPort());
        request.url = QUrl::fromEncoded("http://" + host + target);
    } else {
        request.url = QUrl::fromEncoded(target);
    }
    if (!request.url.isValid() || request.url.scheme() != QLatin1String("http")
        || request.url.host().isEmpty())
        return 400;

    m_pending = std::move(request);
    m_bodySize = bodySize;
    return 0;
}

void StoreHttpConnection::refuse(int status)
{
    m_refused = true;
    m_buffer.clear();
    m_socket->write(head(status, { { "Content-Length", "0" }, { "Connection", "close" } }));
    m_socket->disconnectFromHost();
}
