#include "answercache.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cachefile.h"

void AnswerCache::setFolder(const QString &folder)
{
    m_folder = folder;
    QDir().mkpath(m_folder);
}

QString AnswerCache::folder() const
{
    return m_folder;
}

QString AnswerCache::pathOf(const QString &url) const
{
    return m_folder + CacheFile::nameFor(url);
}

bool AnswerCache::load(const QString &url, qint64 sizeLimit, QByteArray &data) const
{
    const QString path = pathOf(url);
    const QFileInfo info(path);
    if (!CacheFile::isPlain(info))
        return false;
    // Written before answers were capped, or planted: never read whole.
    if (!CacheFile::isFresh(info) || info.size() > sizeLimit) {
        QFile::remove(path);
        return false;
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "bool PromotionNetworkAPI::loadXmlFromCache(const QString&, QByteArray&) const"
                 << " - Failed to open cache file: " << file.errorString();
        return false;
    }
    data = file.readAll();
    file.close();
    if (!data.isEmpty())
        return true;
    QFile::remove(path);
    return false;
}

void AnswerCache::save(const QString &path, const QByteArray &data)
{
    QString reason;
    switch (CacheFile::write(path, data, &reason)) {
    case CacheFile::Status::Written:
        break;
    case CacheFile::Status::CannotOpen:
        qDebug() << "void PromotionNetworkAPI::saveQuery(const QString&, const QByteArray&) const"
                 << " - Failed to open cache file: " << reason;
        break;
    case CacheFile::Status::CannotWrite:
        qDebug() << "void PromotionNetworkAPI::saveQuery(const QString&, const QByteArray&) const"
                 << " - Failed to write data: " << reason;
        break;
    }
}

void AnswerCache::release(const QString &url) const
{
    QFile file(pathOf(url));
    if (file.exists() && !file.remove())
        qDebug() << "void PromotionNetworkAPI::releaseCache(QString) const"
                 << " - Failed to remove cache file!";
}
