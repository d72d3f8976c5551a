#include "cachefolder.h"

#include <QCryptographicHash>
#include <QDir>

QString CacheFolder::path()
{
    return QDir::homePath() + QStringLiteral("/.cache/raskrestapi");
}

QString CacheFolder::folder(const QString &kind)
{
    return path() + QLatin1Char('/') + kind + QLatin1Char('/');
}

QString CacheFolder::fileName(const QString &url)
{
    return QString::fromLatin1(
            QCryptographicHash::hash(url.toLower().toUtf8(), QCryptographicHash::Md5).toHex());
}

QString CacheFolder::filePath(const QString &kind, const QString &url)
{
    return folder(kind) + fileName(url);
}

bool CacheFolder::empty(const QString &kind)
{
    QDir dir(folder(kind));
    dir.removeRecursively();
    return dir.mkpath(dir.absolutePath());
}
