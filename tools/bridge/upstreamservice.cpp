#include "upstreamservice.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

#include "bridgecache.h"
#include "upstreamanswers.h"

namespace {

// Retry-After in seconds or as an HTTP date; -1 when it says neither.
qint64 retryAfterMs(const QByteArray &value)
{
    bool ok = false;
    const qint64 seconds = value.trimmed().toLongLong(&ok);
    if (ok)
        return seconds * 1000;
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(value.trimmed()),
                                                 Qt::RFC2822Date);
    return when.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(when) : -1;
}

} // namespace

UpstreamService::UpstreamService(const QString &name, const QUrl &root, int intervalMs,
                                 Answers answers, BridgeCache *cache,
                                 QNetworkAccessManager *network, QObject *parent)
    : QObject(parent),
      m_name(name),
      m_root(root),
      m_intervalMs(intervalMs),
      m_answers(answers),
      m_cache(cache),
      m_network(network),
      m_nextAllowed(0),
      m_timer(this)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UpstreamService::sendNext);
}

void UpstreamService::get(const QString &pathAndQuery, qint64 maxAgeSecs, QObject *context,
                          const Callback &callback, const EmptyCheck &isEmpty)
{
    QString base = m_root.toString(QUrl::FullyEncoded);
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString key = base + pathAndQuery;
    const BridgeCache::Entry cached = m_cache->read(key);
    if (cached.found) {
        const bool empty = cached.status != 200 || (isEmpty && isEmpty(cached.body));
        if (cached.ageSecs <= (empty ? qMin<qint64>(EmptyAgeSecs, maxAgeSecs) : maxAgeSecs)) {
            const Reply reply { cached.status, cached.body, true };
            QMetaObject::invokeMethod(context, [callback, reply] { callback(reply); },
                                      Qt::QueuedConnection);
            return;
        }
    }
    auto it = m_pending.find(key);
    if (it == m_pending.end()) {
        it = m_pending.insert(key, Pending { QUrl::fromEncoded(key.toUtf8()), isEmpty, {} });
        m_queue.append(key);
    }
    it->waiters.append({ context, callback });
    schedule();
}

void UpstreamService::schedule()
{
    if (!m_inFlight.isEmpty() || m_queue.isEmpty() || m_timer.isActive())
        return;
    m_timer.start(int(qMax<qint64>(m_nextAllowed.remainingTime(), 0)));
}

void UpstreamService::sendNext()
{
    if (!m_inFlight.isEmpty() || m_queue.isEmpty())
        return;
    if (m_nextAllowed.remainingTime() > 0) {
        schedule();
        return;
    }
    const QString key = m_queue.takeFirst();
    QNetworkRequest request(m_pending.value(key).url);
    request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_inFlight = key;
    ++m_requestsSent;
    m_nextAllowed = QDeadlineTimer(m_intervalMs);
    // Read as it comes, with what Qt holds between two reads bounded too, so
    // that an answer larger than any upstream sends ends the transfer rather
    // than filling memory.
    m_body.clear();
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > MaxAnswerBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        m_body += reply->read(MaxAnswerBytes + 1 - m_body.size());
        if (m_body.size() > MaxAnswerBytes)
            reply->abort();
    });
    QTimer::singleShot(m_requestDeadlineMs, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, key] { onFinished(reply, key); });
}

void UpstreamService::onFinished(QNetworkReply *reply, const QString &key)
{
    reply->deleteLater();
    m_inFlight.clear();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 503 || status == 429 || reply->rawHeader("X-RateLimit-Remaining") == "0")
        backOff(reply);
    if ((status == 503 || status == 429) && !m_pending.value(key).retried) {
        // Once more, after the wait, ahead of what came after it.
        m_pending[key].retried = true;
        m_queue.prepend(key);
        schedule();
        return;
    }
    Reply result;
    // An aborted reply is closed: nothing more to read.
    if (reply->isOpen())
        m_body += reply->read(MaxAnswerBytes + 1 - m_body.size());
    const QByteArray body = std::exchange(m_body, QByteArray());
    const bool whole = body.size() <= MaxAnswerBytes
            && (m_answers == Answers::Json ? UpstreamAnswers::isJson(body)
                                           : body.startsWith("\xff\xd8\xff"));
    if (reply->error() == QNetworkReply::NoError && status == 200 && whole) {
        result = { 200, body, false };
        m_cache->write(key, 200, result.body);
    } else if (status == 404) {
        result = { 404, {}, false };
        m_cache->write(key, 404, {});
    } else {
        // Upstream failed: an old answer is better than none.
        const BridgeCache::Entry cached = m_cache->read(key);
        if (cached.found)
            result = { cached.status, cached.body, true };
    }
    finish(key, result);
    schedule();
}

void UpstreamService::backOff(QNetworkReply *reply)
{
    qint64 waitMs = retryAfterMs(reply->rawHeader("Retry-After"));
    if (waitMs < 0 && reply->hasRawHeader("X-RateLimit-Reset-In"))
        waitMs = reply->rawHeader("X-RateLimit-Reset-In").trimmed().toLongLong() * 1000;
    waitMs = qBound(qint64(m_intervalMs), waitMs, qint64(MaxBackoffMs));
    if (m_nextAllowed.remainingTime() < waitMs)
        m_nextAllowed = QDeadlineTimer(waitMs);
}

void UpstreamService::finish(const QString &key, const Reply &reply)
{
    const QList<Waiter> waiters = m_pending.take(key).waiters;
    for (const Waiter &waiter : waiters) {
        if (waiter.context)
            QMetaObject::invokeMethod(
                    waiter.context, [callback = waiter.callback, reply] { callback(reply); },
                    Qt::QueuedConnection);
    }
}
