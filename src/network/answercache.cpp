#include "answercache.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cachefile.h"
#include "regularfile.h"

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
    if (!CacheFile::isFresh(info)) {
        QFile::remove(path);
        return false;
    }

    QString reason;
    switch (RegularFile::read(path, sizeLimit, &data, RegularFile::Links::Refuse, &reason)) {
    case RegularFile::Status::Read:
        break;
    // Written before answers were capped, or planted: never read whole.
    case RegularFile::Status::TooLarge:
        QFile::remove(path);
        return false;
    case RegularFile::Status::Unreadable:
        qDebug() << "bool PromotionNetworkAPI::loadXmlFromCache(const QString&, QByteArray&) const"
                 << " - Failed to open cache file: " << reason;
        return false;
    default:
        return false;
    }
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
