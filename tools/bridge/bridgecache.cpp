#include "bridgecache.h"

#include <QDir>
#include <QStandardPaths>

#include <atomic>

#include "cachefile.h"
#include "cachetrimmer.h"
#include "regularfile.h"

namespace {

// The entry's first line: its status and the seconds since the epoch at
// which it came.
constexpr int MaxHeaderSize = 40;
constexpr int WritesBetweenTrims = 200;

} // namespace

BridgeCache::BridgeCache(const QString &folder)
    : m_folder(folder.isEmpty()
                       ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                               + QLatin1String("/vellora-bridge")
                       : folder),
      m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

BridgeCache::Entry BridgeCache::read(const QString &key) const
{
    Entry entry;
    QByteArray data;
    if (RegularFile::read(m_folder + QLatin1Char('/') + CacheFile::nameFor(key),
                          MaxEntryBytes + MaxHeaderSize, &data)
        != RegularFile::Status::Read)
        return entry;
    const qsizetype end = data.indexOf('\n');
    if (end < 0 || end > MaxHeaderSize)
        return entry;
    const QList<QByteArray> header = data.left(end).split(' ');
    bool statusOk = false;
    bool timeOk = false;
    const int status = header.value(0).toInt(&statusOk);
    const qint64 written = header.value(1).toLongLong(&timeOk);
    const qint64 age = now().toSecsSinceEpoch() - written;
    // A date ahead of the clock was not written by us.
    if (header.size() != 2 || !statusOk || !timeOk || age < -CacheFile::MaxClockSkewSecs)
        return entry;
    entry.found = true;
    entry.status = status;
    entry.body = data.mid(end + 1);
    entry.ageSecs = qMax<qint64>(age, 0);
    return entry;
}

void BridgeCache::write(const QString &key, int status, const QByteArray &body)
{
    if (body.size() > MaxEntryBytes || !QDir().mkpath(m_folder))
        return;
    const QByteArray header = QByteArray::number(status) + ' '
            + QByteArray::number(now().toSecsSinceEpoch()) + '\n';
    CacheFile::write(m_folder + QLatin1Char('/') + CacheFile::nameFor(key), header + body);
    if (++m_writesSinceTrim >= WritesBetweenTrims) {
        m_writesSinceTrim = 0;
        trim();
    }
}

void BridgeCache::trim() const
{
    const std::atomic_bool stop = false;
    CacheTrimmer::trim({ m_folder }, stop, QDateTime::currentDateTime(), MaxAgeDays, MaxBytes);
}
