#include "cachefile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Calendar days, not 24-hour periods: yesterday's answers are still good.
const int MaxAgeDays = 1;

} // namespace

QString CacheFile::nameFor(const QString &url)
{
    return QString::fromLatin1(
            QCryptographicHash::hash(url.toLower().toUtf8(), QCryptographicHash::Md5).toHex());
}

bool CacheFile::isPlain(const QFileInfo &info)
{
    if (info.isSymLink()) {
        QFile::remove(info.filePath());
        return false;
    }
    return info.isFile();
}

bool CacheFile::isFresh(const QFileInfo &info)
{
    const QDateTime modified = info.lastModified();
    const QDateTime now = QDateTime::currentDateTime();
    if (modified > now.addSecs(MaxClockSkewSecs))
        return false;
    return modified.daysTo(now) <= MaxAgeDays;
}

// The data goes to a temporary file beside the final one, which is then
// renamed over it: a reader sees the old file or the new one, never a part,
// and a planted symbolic link is replaced rather than followed. Nothing is
// forced to the disk: a cache file lost in a power cut is fetched again,
// while waiting for the disk held every fresh answer back, by half a
// millisecond on a desktop disk and by far more on flash memory.
CacheFile::Status CacheFile::write(const QString &path, const QByteArray &data, QString *reason)
{
    // The cache folders may be removed while we run.
    QDir().mkpath(QFileInfo(path).path());
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        if (reason)
            *reason = file.errorString();
        return Status::CannotOpen;
    }
    if (file.write(data) != data.size() || !file.flush()) {
        // After a short write the file's own error string says nothing useful.
        if (reason)
            *reason = QStringLiteral("Not all data could be written");
        return Status::CannotWrite;
    }
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return Status::CannotWrite;
    }
    file.setAutoRemove(false);
    return Status::Written;
}
