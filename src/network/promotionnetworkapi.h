#pragma once

#include <QHash>
#include <QList>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <atomic>

#include "answercache.h"
#include "raskquery.h"
#include "thumbnailer.h"

class NetworkConfigurationManager;
class NetworkSession;
class QNetworkAccessManager;

class PromotionNetworkAPI : public QObject
{
    Q_OBJECT

public:
    static PromotionNetworkAPI *instance();
    // Ends the service if one runs, before its code may be unloaded with the plug-in.
    static void shutDown();
    // Deleting the service empties its queue and lets the next instance() start afresh.
    ~PromotionNetworkAPI() override;

    int fetchXml(const QString &url, int delay);
    QByteArray getXmlData(int id);
    void cancel(int id);

    // Only web addresses are fetched: the access manager would read file: and
    // data: links too, and a local file can block the reader for ever. The
    // scheme is compared ignoring case, as URLs define it.
    static bool isWebUrl(const QUrl &url);

    QString getArtOfMusicItem(const QString &url);
    // A consumer holds on to the pictures it shows; a picture download that
    // loses its last consumer is dropped, so that pictures nobody will see
    // do not hold the connections.
    void retainImage(const QObject *consumer, const QString &url);
    void releaseImages(const QObject *consumer);
    void releaseCache(QString url) const;
    // Where downloaded pictures are kept: the folder's canonical path, worked
    // out once, so that each picture shown needs no walk up its folders.
    QString imageCacheDirectory() const;

    // Both limits apply to answer and picture downloads alike: the first to a
    // pause between bytes, the second to the whole transfer.
    void setTransferTimeout(int msecs);
    void setDownloadDeadline(int msecs);
    // A download that announces or brings more than this is dropped.
    static constexpr qint64 DefaultAnswerSizeLimit = 8 * 1024 * 1024;
    void setAnswerSizeLimit(qint64 bytes);
    void setPictureSizeLimit(qint64 bytes);
    // The proxy named by the environment; hosts it excludes are reached directly.
    QNetworkProxy proxy() const;

signals:
    void errorOccurred(int id, QString errorDescription, int errorCode = 0);
    void xmlFetchingStarted(int id);
    void xmlDownloaded(int id);
    void imageDownloaded(QString from, QString to);

private slots:
    void changeOnlineState(bool isOnline);
    void checkPendingQueries();
    void fetch(int id);
    void saveXml(QNetworkReply *reply);
    void saveImage(QNetworkReply *reply);

private:
    // One consumer's claim on a queue entry. Several consumers asking for the
    // same URL share the entry's download but each holds its own id.
    struct Ticket
    {
        int id;
        bool started;
        bool announced;
    };

    struct QueueEntry
    {
        // Waiting for a queue check, which serves it from the cache or starts
        // its download; Saving while its answer is written to the cache, for
        // it is announced only once on disk; Answered, its data in the query.
        enum class State { Waiting, Downloading, Saving, Answered };

        RaskQuery query;
        QList<Ticket> tickets;
        State state = State::Waiting;
        QNetworkReply *reply = nullptr; // while Downloading
        quint64 save = 0; // while Saving: which write finishes it
    };

    explicit PromotionNetworkAPI(QObject *parent = nullptr);

    void setProxyFromEnvironment();
    // Every change that may let the queue move on asks for a check here.
    void scheduleCheck(int delay = 0);
    bool openInternetConnection();
    void clearQueue();
    void prepareCacheDirectories();
    // Trims the cache on the trim thread; the second does so every so many writes.
    void trimCache();
    void countCacheWrite();

    QString createMd5Hash(const QString &url) const;
    void finishSave(quint64 save);

    int allocateId();
    int entryIndexOfId(int id) const;
    int entryIndexOfReply(const QNetworkReply *reply) const;
    QNetworkReply *startDownload(QNetworkAccessManager *manager, QNetworkRequest request,
                                 qint64 sizeLimit);
    // The whole body of a finished reply, taken out of it.
    static QByteArray takeBody(QNetworkReply *reply);
    void refuseEntry(int index);
    QNetworkReply *imageDownloadOf(const QString &url) const;
    void removeTicket(int id);
    // Sets the flag on every ticket that lacks it and returns their ids.
    static QList<int> markTickets(QList<Ticket> &tickets, bool Ticket::*told);
    void announceAnswer(QueueEntry &entry);
    void finishImage(QNetworkReply *reply, const QString &url, const QString &path,
                     Thumbnailer::Result result);

    AnswerCache m_answers;
    QString m_imageCacheDir;
    QString m_canonicalImageCacheDir;
    NetworkConfigurationManager *m_configurationManager;
    QNetworkAccessManager *m_imageManager;
    QNetworkAccessManager *m_xmlManager;
    NetworkSession *m_session;
    QList<QueueEntry> m_queue;
    QList<QNetworkReply *> m_imageReplies;
    // Picture URLs and the consumers that hold on to them.
    QHash<QString, QSet<const QObject *>> m_imageConsumers;
    bool m_isOnline;

    int m_nextId;
    quint64 m_lastSave = 0;
    int m_writesSinceTrim = 0;
    int m_transferTimeout;
    int m_downloadDeadline;
    qint64 m_answerSizeLimit;
    qint64 m_pictureSizeLimit;
    // Picture decoding runs here so that large pictures never stall the user interface.
    QThreadPool m_imagePool;
    // Answers are written to the cache here: the write ends in a flush to the
    // disk, which can take many milliseconds when the disk is busy.
    QThreadPool m_cachePool;
    // The trim reads every entry of the cache folders, which takes seconds
    // when they are large: apart from the writes, so that no answer waits
    // for it, and stopped at once when the service ends.
    QThreadPool m_trimPool;
    std::atomic_bool m_stopTrim { false };

    static PromotionNetworkAPI *m_instance;
};
