#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

// Reads the string values of a few keys from a file in QSettings' INI
// format, by QSettings' own rules for sections, comments, quotes, escapes
// and lists, but never makes an object of a value. QSettings decodes a
// "@Variant(...)" value with QDataStream as soon as its section is read: a
// list nested 30 000 deep overflows the stack, and a picture costs whatever
// its header claims. The work here is one pass over the text.
class IniReader
{
public:
    // The values of those keys ("section/name") that the text holds, as
    // QSettings' value(key).toString() gives them. A value that QSettings
    // would decode into an object reads as no value, its key put into
    // objectKeys, in the order of keys.
    static QHash<QString, QString> read(QByteArrayView text, const QStringList &keys,
                                        QStringList *objectKeys);
};
