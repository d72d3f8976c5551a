#pragma once

#include <QDateTime>
#include <QStringList>

#include <atomic>

// Keeps the answer and picture caches from growing without end: entries are
// otherwise dropped only when the same address is asked for again, so the
// cache would hold every artist ever played. Only files named as the cache
// names them (32 lower-case hexadecimal digits, and the temporaries it
// writes them through) are touched; other programs read this cache, and
// whatever else lies in its folders is not ours.
class CacheTrimmer
{
public:
    static constexpr int MaxAgeDays = 30;
    static constexpr qint64 MaxBytes = 50 * 1024 * 1024;
    // A write killed mid-way leaves its temporary; no write takes this long.
    static constexpr int LeftoverSecs = 5 * 60;
    // How many of the oldest files one pass over the folders remembers: a
    // folder that far over MaxBytes is trimmed over several passes, and a
    // folder of any size costs the same memory.
    static constexpr int OldestRemembered = 4096;

    // Removes the files older than maxAgeDays or dated ahead of now, and the
    // leftover temporaries, then the oldest files until the rest take at
    // most maxBytes together. The folders are read as a stream, entry by
    // entry, and stop ends the work at the next entry. Reads and removes
    // files: run it off the user-interface thread.
    static void trim(const QStringList &folders, const std::atomic_bool &stop,
                     const QDateTime &now = QDateTime::currentDateTime(),
                     int maxAgeDays = MaxAgeDays, qint64 maxBytes = MaxBytes);
};
