#pragma once

#include <QDateTime>
#include <QStringList>

// Keeps the answer and picture caches from growing without end: entries are
// otherwise dropped only when the same address is asked for again, so the
// cache would hold every artist ever played. Only files named as the cache
// names them (32 lower-case hexadecimal digits) are touched; other programs
// read this cache, and whatever else lies in its folders is not ours.
class CacheTrimmer
{
public:
    static constexpr int MaxAgeDays = 30;
    static constexpr qint64 MaxBytes = 50 * 1024 * 1024;

    // Removes the files older than MaxAgeDays, then the oldest until the
    // rest take at most MaxBytes together. Reads and removes files: run it
    // off the user-interface thread.
    static void trim(const QStringList &folders, const QDateTime &now = QDateTime::currentDateTime());
};
