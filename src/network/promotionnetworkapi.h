#pragma once

#include <QNetworkProxy>
#include <QObject>
#include <QThreadPool>

#include <atomic>

#include "download.h"

class AnswerQueue;
class NetworkConfigurationManager;
class NetworkSession;
class PictureFetcher;

// The plug-in's one door to the network: the store's answers through an
// answer queue and the rows' pictures through a picture fetcher, both kept
// in the cache folder it trims, behind the environment's proxy and opened
// only when the handset is online or can be brought online.
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

    static bool isWebUrl(const QUrl &url) { return Download::isWebUrl(url); }

    QString getArtOfMusicItem(const QString &url);
    // A consumer holds on to the pictures it shows; a picture download that
    // loses its last consumer is dropped, so that pictures nobody will see
    // do not hold the connections.
    void retainImage(const QObject *consumer, const QString &url);
    void releaseImages(const QObject *consumer);
    void releaseCache(QString url) const;
    // Where downloaded pictures are kept, as a canonical path.
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

private:
    explicit PromotionNetworkAPI(QObject *parent = nullptr);

    void setProxyFromEnvironment();
    bool openInternetConnection();
    void prepareCacheDirectories();
    void applyLimits();
    // Trims the cache on the trim thread; the second does so every so many writes.
    void trimCache();
    void countCacheWrite();

    NetworkConfigurationManager *m_configurationManager;
    NetworkSession *m_session = nullptr;
    AnswerQueue *m_answers;
    PictureFetcher *m_pictures;
    bool m_isOnline = false;
    int m_writesSinceTrim = 0;
    int m_transferTimeout = 30000;
    int m_downloadDeadline = 120000;
    qint64 m_answerSizeLimit = DefaultAnswerSizeLimit;
    qint64 m_pictureSizeLimit;
    // The trim reads every entry of the cache folders, which takes seconds
    // when they are large: apart from the writes, so that no answer waits
    // for it, and stopped at once when the service ends.
    QThreadPool m_trimPool;
    std::atomic_bool m_stopTrim { false };

    static PromotionNetworkAPI *m_instance;
};
