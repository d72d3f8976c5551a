#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

// The bridge's answers from upstream, on disk in a folder of its own: each
// kept with its status and the time it came, so that the second time an
// artist is played costs upstream nothing, and an answer past its age still
// serves when upstream fails. Files are written whole or not at all, read
// through one descriptor and never larger than MaxEntryBytes.
class BridgeCache
{
public:
    static constexpr qint64 MaxEntryBytes = 4 * 1024 * 1024;
    static constexpr qint64 MaxBytes = 100 * 1024 * 1024;
    // Pictures stay until trimmed; nothing is kept longer than this.
    static constexpr int MaxAgeDays = 365;

    struct Entry
    {
        bool found = false;
        int status = 0;
        QByteArray body;
        qint64 ageSecs = 0;
    };

    // An empty folder: the user's cache folder's "vellora-bridge".
    explicit BridgeCache(const QString &folder = QString());

    QString folder() const { return m_folder; }
    // Tests move time on without waiting for it.
    void setClock(const std::function<QDateTime()> &clock) { m_clock = clock; }
    QDateTime now() const { return m_clock(); }

    Entry read(const QString &key) const;
    void write(const QString &key, int status, const QByteArray &body);
    // Removes what is past MaxAgeDays, then the oldest entries until the
    // folder holds at most MaxBytes.
    void trim() const;

private:
    QString m_folder;
    std::function<QDateTime()> m_clock;
    int m_writesSinceTrim = 0;
};
