#pragma once

#include <QByteArray>
#include <QString>

// The store's answers kept on disk, one file per URL: a fresh answer is
// served from here without a request. Its files are as untrusted as the
// network: each is read only when it is a plain file of a bounded size.
class AnswerCache
{
public:
    void setFolder(const QString &folder);
    QString folder() const;
    QString pathOf(const QString &url) const;

    // The cached answer of url, when there is a fresh, whole one of at most
    // sizeLimit bytes; a stale, oversized or empty file is removed.
    bool load(const QString &url, qint64 sizeLimit, QByteArray &data) const;
    // Runs on the cache thread: the service waits for no disk.
    static void save(const QString &path, const QByteArray &data);
    // Forgets the answer of url, so that it is asked for again.
    void release(const QString &url) const;

private:
    QString m_folder;
};
