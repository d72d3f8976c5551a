#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

class BridgeCache;
class QNetworkAccessManager;
class QNetworkReply;

// One upstream web service, asked as its volunteers ask to be asked: one
// request at a time and the next no sooner than the interval after the last
// one left, all of them waiting out a 503 or 429 (Retry-After, or
// ListenBrainz's X-RateLimit-Reset-In once X-RateLimit-Remaining is 0),
// two asks for the same address made one request, and every request carrying
// the User-Agent. Answers come from the cache while they are young enough,
// and from an older entry when upstream fails.
class UpstreamService : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MaxAnswerBytes = 2 * 1024 * 1024;
    static constexpr int TransferTimeoutMs = 8000;
    static constexpr int RequestDeadlineMs = 15000;
    static constexpr int MaxBackoffMs = 60000;
    static constexpr int EmptyAgeSecs = 24 * 3600;

    struct Reply
    {
        // 200 or 404 when upstream (or the cache) answered; 0 when it did not.
        int status = 0;
        QByteArray body;
        bool fromCache = false;
        bool ok() const { return status == 200; }
    };
    using Callback = std::function<void(const Reply &reply)>;
    // Whether an answer holds nothing (no cover, an unknown artist): such an
    // answer is asked again after a day, whatever its kind.
    using EmptyCheck = std::function<bool(const QByteArray &body)>;

    // What a whole answer must be, or it counts as a failure: a cut or
    // garbled answer is never cached nor taken for an empty one.
    enum class Answers { Json, Jpeg };

    UpstreamService(const QString &name, const QUrl &root, int intervalMs, Answers answers,
                    BridgeCache *cache, QNetworkAccessManager *network, QObject *parent = nullptr);

    QString name() const { return m_name; }
    QUrl root() const { return m_root; }
    void setUserAgent(const QByteArray &userAgent) { m_userAgent = userAgent; }
    // However it trickles in, an answer ends by then: the service's next
    // requests wait behind it.
    void setRequestDeadline(int ms) { m_requestDeadlineMs = ms; }

    // pathAndQuery follows the root, encoded. callback runs in context's
    // thread, never from inside this call, and not once context is gone.
    void get(const QString &pathAndQuery, qint64 maxAgeSecs, QObject *context,
             const Callback &callback, const EmptyCheck &isEmpty = {});

    int requestsSent() const { return m_requestsSent; }

private:
    struct Waiter
    {
        QPointer<QObject> context;
        Callback callback;
    };
    struct Pending
    {
        QUrl url;
        EmptyCheck isEmpty;
        QList<Waiter> waiters;
        bool retried = false;
    };

    void schedule();
    void sendNext();
    void onFinished(QNetworkReply *reply, const QString &key);
    void backOff(QNetworkReply *reply);
    void finish(const QString &key, const Reply &reply);

    QString m_name;
    QUrl m_root;
    int m_intervalMs;
    int m_requestDeadlineMs = RequestDeadlineMs;
    Answers m_answers;
    BridgeCache *m_cache;
    QNetworkAccessManager *m_network;
    QByteArray m_userAgent;
    // Addresses in the order they were asked for; each waits in m_pending.
    QList<QString> m_queue;
    QHash<QString, Pending> m_pending;
    QString m_inFlight;
    QByteArray m_body; // of the answer in flight
    QDeadlineTimer m_nextAllowed;
    QTimer m_timer;
    int m_requestsSent = 0;
};
