#pragma once

#include <QByteArray>
#include <QString>

class QFileInfo;

// The rules every file of the answer and picture cache follows: its name,
// when it is still good, and how it is written.
class CacheFile
{
public:
    enum class Status { Written, CannotOpen, CannotWrite };

    // A cache file dated further ahead than this was not written by us.
    static constexpr int MaxClockSkewSecs = 60;

    // The file name under which the answer or picture of url is kept.
    static QString nameFor(const QString &url);
    // Reading follows a symbolic link; a link planted in the cache must never
    // lead us to another file, and is removed. Only a regular file is read.
    static bool isPlain(const QFileInfo &info);
    // Written today or yesterday, and not dated ahead of the clock.
    static bool isFresh(const QFileInfo &info);
    // Replaces the file at path with data; on failure the old file, if any,
    // stays as it was and reason (when given) says why.
    static Status write(const QString &path, const QByteArray &data, QString *reason = nullptr);
};
