#include "cachetrimmer.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "cachefile.h"

#include <queue>
#include <vector>

namespace {

struct Entry
{
    QDateTime modified;
    QString path;
    qint64 size;

    bool operator<(const Entry &other) const { return modified < other.modified; }
};

// One pass: removes what is too old or a leftover, and returns the bytes of
// the rest; oldest ends holding the OldestRemembered oldest of the rest.
qint64 sweep(const QStringList &folders, const std::atomic_bool &stop, const QDateTime &now,
             int maxAgeDays, std::priority_queue<Entry> &oldest)
{
    static const QRegularExpression cacheName(QStringLiteral("^[0-9a-f]{32}$"));
    static const QRegularExpression temporaryName(
            QStringLiteral("^[0-9a-f]{32}\\.[0-9A-Za-z]{6}$"));
    const QDateTime tooOld = now.addDays(-maxAgeDays);
    const QDateTime leftover = now.addSecs(-CacheTrimmer::LeftoverSecs);
    const QDateTime ahead = now.addSecs(CacheFile::MaxClockSkewSecs);

    qint64 bytes = 0;
    for (const QString &folder : folders) {
        // Links are left alone: what they lead to is not ours to measure or remove.
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        while (!stop && it.hasNext()) {
            const QFileInfo file(it.next());
            const QString name = file.fileName();
            const bool temporary = temporaryName.match(name).hasMatch();
            if (!temporary && !cacheName.match(name).hasMatch())
                continue;
            const QDateTime modified = file.lastModified();
            if (modified > ahead || modified < (temporary ? leftover : tooOld)) {
                QFile::remove(file.filePath());
                continue;
            }
            bytes += file.size();
            // A temporary being written counts, but is never taken away.
            if (temporary)
                continue;
            oldest.push({ modified, file.filePath(), file.size() });
            if (oldest.size() > size_t(CacheTrimmer::OldestRemembered))
                oldest.pop();
        }
    }
    return bytes;
}

} // namespace

void CacheTrimmer::trim(const QStringList &folders, const std::atomic_bool &stop,
                        const QDateTime &now, int maxAgeDays, qint64 maxBytes)
{
    for (;;) {
        std::priority_queue<Entry> oldest;
        qint64 bytes = sweep(folders, stop, now, maxAgeDays, oldest);
        if (stop || bytes <= maxBytes)
            return;
        // Newest first out of the queue: the oldest are taken from the back.
        std::vector<Entry> candidates;
        candidates.reserve(oldest.size());
        for (; !oldest.empty(); oldest.pop())
            candidates.push_back(oldest.top());
        const bool allSeen = candidates.size() < size_t(OldestRemembered);
        bool removed = false;
        for (auto entry = candidates.rbegin(); entry != candidates.rend() && bytes > maxBytes;
             ++entry) {
            if (QFile::remove(entry->path)) {
                bytes -= entry->size;
                removed = true;
            }
        }
        // Another pass only when this one could not see far enough back.
        if (bytes <= maxBytes || allSeen || !removed)
            return;
    }
}
