#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class QFileSystemWatcher;

// Tells when a file that may be created, deleted or replaced by rename has
// changed: the watcher follows the file while it exists, and the deepest
// folder on its way that exists, which sees the file or a folder come and go.
class SettingsFileWatch : public QObject
{
    Q_OBJECT

public:
    // The watcher stays its owner's; this only sets what it watches.
    SettingsFileWatch(QFileSystemWatcher *watcher, const QString &path, QObject *parent = nullptr);

signals:
    void changed();

private:
    // True when the file differs from the last time it was looked at.
    bool rearm();

    QFileSystemWatcher *m_watcher;
    QString m_path;
    QDateTime m_stamp;
};
