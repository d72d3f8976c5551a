#pragma once

#include <QByteArray>
#include <QString>

// Writes a file of the answer and picture cache whole or not at all.
class CacheFile
{
public:
    enum class Status { Written, CannotOpen, CannotWrite };

    // Replaces the file at path with data; on failure the old file, if any,
    // stays as it was and reason (when given) says why.
    static Status write(const QString &path, const QByteArray &data, QString *reason = nullptr);
};
