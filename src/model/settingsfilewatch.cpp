#include "settingsfilewatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

SettingsFileWatch::SettingsFileWatch(QFileSystemWatcher *watcher, const QString &path,
                                     QObject *parent)
    : QObject(parent),
      m_watcher(watcher),
      m_path(path)
{
    rearm();
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        rearm();
        emit changed();
    });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (rearm())
            emit changed();
    });
}

bool SettingsFileWatch::rearm()
{
    const QFileInfo file(m_path);
    // Re-armed every time: a file replaced by rename keeps its name but
    // loses its watch.
    m_watcher->removePath(m_path);
    if (file.exists())
        m_watcher->addPath(m_path);

    QDir folder = file.absoluteDir();
    while (!folder.exists() && !folder.isRoot())
        folder.setPath(QFileInfo(folder.absolutePath()).absolutePath());
    const QString folderPath = folder.absolutePath();
    const QStringList watched = m_watcher->directories();
    for (const QString &path : watched) {
        if (path != folderPath)
            m_watcher->removePath(path);
    }
    if (!watched.contains(folderPath))
        m_watcher->addPath(folderPath);

    const QDateTime stamp = file.exists() ? file.lastModified() : QDateTime();
    const bool changed = stamp != m_stamp;
    m_stamp = stamp;
    return changed;
}
