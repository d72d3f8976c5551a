#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include "download.h"
#include "thumbnailer.h"

class QNetworkAccessManager;

// The rows' pictures: each downloaded once, decoded on a thread of its own
// into a thumbnail kept in the cache folder, and dropped while still
// downloading once no consumer holds on to it any more.
class PictureFetcher : public QObject
{
    Q_OBJECT

public:
    explicit PictureFetcher(QObject *parent = nullptr);
    // Stops every download without a word; pictures still waiting for the
    // decoder are dropped, only the one being decoded is waited for.
    ~PictureFetcher() override;

    QNetworkAccessManager *network() const { return m_network; }
    void setCacheFolder(const QString &folder);
    QString cacheFolder() const { return m_folder; }
    // The folder's canonical path, worked out once, so that each picture
    // shown needs no walk up its folders.
    QString canonicalCacheFolder() const { return m_canonicalFolder; }
    void setLimits(const Download::Limits &limits);

    // The thumbnail of url when the cache holds a fresh one; else empty, and
    // the picture is fetched unless it already is.
    QString pictureOf(const QString &url);
    void retain(const QObject *consumer, const QString &url);
    void release(const QObject *consumer);

signals:
    void pictureStored(QString from, QString to);
    // A thumbnail went into the cache.
    void cacheWritten();

private:
    struct Fetch
    {
        // Downloading until the body is whole, then Decoding on the pool's
        // thread until the thumbnail is written; only a download is dropped.
        enum class State { Downloading, Decoding };

        State state = State::Downloading;
        Download *download = nullptr; // while Downloading
    };

    void onDownloadFinished(const QString &url, Download *download);
    void finishPicture(const QString &url, const QString &path, Thumbnailer::Result result);

    QNetworkAccessManager *m_network;
    QString m_folder;
    QString m_canonicalFolder;
    Download::Limits m_limits;
    // By the URL the consumers asked for: a redirected reply reports another.
    QHash<QString, Fetch> m_fetches;
    // Picture URLs and the consumers that hold on to them.
    QHash<QString, QSet<const QObject *>> m_consumers;
    // Picture decoding runs here so that large pictures never stall the user interface.
    QThreadPool m_pool;
};
