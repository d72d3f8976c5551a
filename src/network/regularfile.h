#pragma once

#include <QByteArray>
#include <QString>

// Reads a file that someone else may swap under us (the cache, the store
// client's settings) in one go: opened once without blocking, checked on the
// open descriptor to be a regular file of at most maxBytes, and read from
// that descriptor, never more than maxBytes. What was checked is what is
// read; a pipe or a device put in its place can neither block nor flood us.
class RegularFile
{
public:
    enum class Status { Read, Missing, NotRegular, TooLarge, Unreadable };
    enum class Links { Follow, Refuse };

    // reason, when given, says why a file could not be read.
    static Status read(const QString &path, qint64 maxBytes, QByteArray *data,
                       Links links = Links::Refuse, QString *reason = nullptr);
};
