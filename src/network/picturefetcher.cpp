#include "picturefetcher.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "cachefile.h"

namespace {

// Decoding a large picture takes a core for tens of milliseconds; on a
// handset with two the user interface must never wait for it, so the
// pool's threads run at a tenth of its weight. Not at idle priority: a
// thread there gets no processor at all while any other program keeps the
// cores busy, and with two such programs no picture came for minutes.
void yieldToInterface()
{
    static thread_local bool yielded = false;
    if (!yielded)
        yielded = ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10) == 0;
}

} // namespace

PictureFetcher::PictureFetcher(QObject *parent)
    : QObject(parent),
      m_network(new QNetworkAccessManager(this))
{
    m_pool.setMaxThreadCount(1);
}

PictureFetcher::~PictureFetcher()
{
    const QHash<QString, Fetch> fetches = std::exchange(m_fetches, {});
    for (const Fetch &fetch : fetches) {
        if (fetch.download) {
            disconnect(fetch.download, nullptr, this, nullptr);
            fetch.download->abort();
        }
    }
    m_pool.clear();
    m_pool.waitForDone();
}

void PictureFetcher::setCacheFolder(const QString &folder)
{
    m_folder = folder;
    QDir().mkpath(m_folder);
    m_canonicalFolder = QDir(m_folder).canonicalPath();
}

void PictureFetcher::setLimits(const Download::Limits &limits)
{
    m_limits = limits;
}

QString PictureFetcher::pictureOf(const QString &url)
{
    const QUrl address(url);
    if (!Download::isWebUrl(address))
        return QString();
    const QString path = m_folder + CacheFile::nameFor(url);
    const QFileInfo info(path);
    if (CacheFile::isPlain(info)) {
        if (CacheFile::isFresh(info) && Thumbnailer::isThumbnail(path))
            return path;
        if (!QFile::remove(path))
            qDebug() << "const QString PromotionNetworkAPI::getArtOfMusicItem(const QString&)"
                     << " - Failed to remove old image file.";
    }

    if (m_fetches.contains(url))
        return QString();
    Download *download = Download::start(m_network, QNetworkRequest(address), m_limits);
    connect(download, &Download::finished, this,
            [this, url](Download *finished) { onDownloadFinished(url, finished); });
    m_fetches.insert(url, Fetch { Fetch::State::Downloading, download });
    return QString();
}

void PictureFetcher::retain(const QObject *consumer, const QString &url)
{
    if (Download::isWebUrl(QUrl(url)))
        m_consumers[url].insert(consumer);
}

void PictureFetcher::release(const QObject *consumer)
{
    m_consumers.removeIf([this, consumer](std::pair<const QString &, QSet<const QObject *> &> it) {
        it.second.remove(consumer);
        if (!it.second.isEmpty())
            return false;
        // A picture being decoded is stored all the same; only a download is dropped.
        const auto fetch = m_fetches.constFind(it.first);
        if (fetch != m_fetches.cend() && fetch->state == Fetch::State::Downloading) {
            // Out of the list first: a download that finishes outside it raises nothing.
            Download *download = fetch->download;
            m_fetches.erase(fetch);
            download->abort();
        }
        return true;
    });
}

void PictureFetcher::onDownloadFinished(const QString &url, Download *download)
{
    const auto fetch = m_fetches.find(url);
    // A download no longer among the fetches was dropped on purpose: nothing to say.
    if (fetch == m_fetches.end() || fetch->download != download) {
        download->discard();
        return;
    }
    const QNetworkReply *reply = download->reply();
    if (reply->error() != QNetworkReply::NoError) {
        m_fetches.remove(url);
        qDebug() << (download->isTooLarge() ? QStringLiteral("picture too large")
                                            : Download::withoutToken(reply->errorString()))
                 << int(reply->error());
        download->discard();
        return;
    }

    // The picture stays among the fetches until it is stored, so that a
    // request meanwhile does not fetch it again.
    fetch->state = Fetch::State::Decoding;
    fetch->download = nullptr;
    const QString path = m_folder + CacheFile::nameFor(url);
    const QByteArray body = download->takeBody();
    download->discard();
    m_pool.start([this, url, path, body] {
        yieldToInterface();
        const Thumbnailer::Result result = Thumbnailer::store(body, path);
        QMetaObject::invokeMethod(
                this, [this, url, path, result] { finishPicture(url, path, result); },
                Qt::QueuedConnection);
    });
}

void PictureFetcher::finishPicture(const QString &url, const QString &path,
                                   Thumbnailer::Result result)
{
    m_fetches.remove(url);
    switch (result) {
    case Thumbnailer::Result::Saved:
        emit cacheWritten();
        emit pictureStored(url, path);
        break;
    case Thumbnailer::Result::DecodeFailed:
        qDebug() << "void PromotionNetworkAPI::saveImage(QNetworkReply*)"
                 << " - Failed to load image!";
        break;
    case Thumbnailer::Result::SaveFailed:
        qDebug() << "void PromotionNetworkAPI::saveImage(QNetworkReply*)"
                 << " - Failed to save scaled image!";
        break;
    }
}
