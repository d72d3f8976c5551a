#include "download.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <utility>

Download *Download::start(QNetworkAccessManager *manager, QNetworkRequest request,
                          const Limits &limits)
{
    request.setTransferTimeout(limits.transferTimeoutMs);
    QNetworkReply *reply = manager->get(request);
    // A server that drips a byte now and then never trips the transfer time-out.
    if (limits.deadlineMs > 0)
        QTimer::singleShot(limits.deadlineMs, reply, &QNetworkReply::abort);
    return new Download(reply, limits.sizeLimit);
}

Download::Download(QNetworkReply *reply, qint64 sizeLimit)
    : QObject(reply),
      m_reply(reply),
      m_sizeLimit(sizeLimit)
{
    // The announced length stops a large body before it comes; a body without
    // one (chunked, or ended by closing) is stopped once too much has come.
    // The read buffer holds the network thread back at one byte past the
    // limit, however long this thread takes to look. What arrives is moved
    // out of it at once: the network layer hands data on in pieces as large
    // as a chunk, and one that did not fit the room left would stall the
    // transfer with the limit not yet passed.
    reply->setReadBufferSize(sizeLimit + 1);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        checkSize(0, m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(reply, &QIODevice::readyRead, this, [this] {
        m_body += m_reply->readAll();
        checkSize(m_body.size(), 0);
    });
    connect(reply, &QNetworkReply::finished, this, [this] { emit finished(this); });
}

bool Download::isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            && !url.host().isEmpty();
}

QString Download::withoutToken(const QString &text)
{
    static const QRegularExpression token(QStringLiteral("([?&]token=)[^&#\\s\"]*"));
    return QString(text).replace(token, QStringLiteral("\\1***"));
}

void Download::checkSize(qint64 received, qint64 total)
{
    if (m_reply->isRunning() && (received > m_sizeLimit || total > m_sizeLimit)) {
        m_tooLarge = true;
        m_reply->abort();
    }
}

void Download::abort()
{
    m_reply->abort();
}

QByteArray Download::takeBody()
{
    return std::exchange(m_body, QByteArray()) + m_reply->readAll();
}

void Download::discard()
{
    m_reply->deleteLater();
}
