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

// One row of a table, its fields read by the names of the table's columns.
class TableRow
{
public:
    TableRow(const QStringList &names, const QStringList &fields);
    // The field in the column of that name; a name the table lacks fails the
    // running test.
    QString operator[](const char *name) const;

private:
    QStringList m_names;
    QStringList m_fields;
};

// The rows of a tab-separated table whose first line names its columns,
// without blank lines and lines starting with '#', the placeholders filled
// in. A missing file or a row of another width fails the running test.
QList<TableRow> table(const QString &path, const Placeholders &placeholders = Placeholders());

} // namespace TestFiles
