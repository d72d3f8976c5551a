#include "cachetrimmer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

void CacheTrimmer::trim(const QStringList &folders, const QDateTime &now)
{
    static const QRegularExpression cacheName(QStringLiteral("^[0-9a-f]{32}$"));
    const QDateTime oldest = now.addDays(-MaxAgeDays);

    QFileInfoList kept;
    qint64 bytes = 0;
    for (const QString &folder : folders) {
        // Links are left alone: what they lead to is not ours to measure or remove.
        const QFileInfoList files =
                QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        for (const QFileInfo &file : files) {
            if (!cacheName.match(file.fileName()).hasMatch())
                continue;
            if (file.lastModified() < oldest) {
                QFile::remove(file.filePath());
                continue;
            }
            kept.append(file);
            bytes += file.size();
        }
    }

    std::sort(kept.begin(), kept.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    for (const QFileInfo &file : std::as_const(kept)) {
        if (bytes <= MaxBytes)
            break;
        if (QFile::remove(file.filePath()))
            bytes -= file.size();
    }
}
