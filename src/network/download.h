#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// One GET with the plug-in's bounds: a pause limit between bytes, a deadline
// for the whole transfer and a size limit, the body gathered as it arrives.
// It lives as long as its reply, which the manager owns.
class Download : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        int transferTimeoutMs = 30000;
        // 0: none.
        int deadlineMs = 120000;
        qint64 sizeLimit = 8 * 1024 * 1024;
    };

    static Download *start(QNetworkAccessManager *manager, QNetworkRequest request,
                           const Limits &limits);

    // Only web addresses are fetched: the access manager would read file: and
    // data: links too, and a local file can block the reader for ever. The
    // scheme is compared ignoring case, as URLs define it.
    static bool isWebUrl(const QUrl &url);
    // The store client's device token rides in the query of every store URL,
    // and the network layer's error texts quote the URL; the texts go on to
    // logs, the token must not.
    static QString withoutToken(const QString &text);

    QNetworkReply *reply() const { return m_reply; }
    // It announced or brought more than the size limit, and was stopped.
    bool isTooLarge() const { return m_tooLarge; }
    // Stopping it says finished() before this returns.
    void abort();
    // The whole body of a finished download, taken out of it.
    QByteArray takeBody();
    // Goes with its reply once control is back in the event loop.
    void discard();

signals:
    // Once, whether the body came whole, failed, ran out of time or grew too large.
    void finished(Download *download);

private:
    Download(QNetworkReply *reply, qint64 sizeLimit);
    void checkSize(qint64 received, qint64 total);

    QNetworkReply *m_reply;
    QByteArray m_body;
    qint64 m_sizeLimit;
    bool m_tooLarge = false;
};
