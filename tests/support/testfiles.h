#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <utility>

// Files and pictures the suites plant and read back.
namespace TestFiles {

// Writes data to path whole; with a valid time the file is dated to it.
bool write(const QString &path, const QByteArray &data, const QDateTime &modified = QDateTime());
// The whole file, or ifMissing when there is none.
QByteArray read(const QString &path, const QByteArray &ifMissing = QByteArray());
// A picture in the given format, filled with colour; a green band on the
// left sixth survives stretching but not cropping.
QByteArray picture(const QSize &size, const char *format = "JPEG", const QColor &colour = Qt::red);
// Names in a table's fields and what each stands for, replaced in this order
// in each field.
using Placeholders = QList<std::pair<QString, QString>>;
// The rows of a tab-separated table, without blank lines and lines starting
// with '#', the placeholders filled in. A missing file or a row of another
// width fails the running test.
QList<QStringList> table(const QString &path, int columns,
                         const Placeholders &placeholders = Placeholders());

} // namespace TestFiles
