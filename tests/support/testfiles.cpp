#include "testfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

namespace TestFiles {

bool write(const QString &path, const QByteArray &data, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush())
        return false;
    return !modified.isValid() || file.setFileTime(modified, QFileDevice::FileModificationTime);
}

QByteArray read(const QString &path, const QByteArray &ifMissing)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : ifMissing;
}

QByteArray picture(const QSize &size, const char *format, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QPainter(&image).fillRect(0, 0, size.width() / 6, size.height(), QColor(0, 255, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

TableRow::TableRow(const QStringList &names, const QStringList &fields)
    : m_names(names),
      m_fields(fields)
{ }

QString TableRow::operator[](const char *name) const
{
    const qsizetype column = m_names.indexOf(QLatin1String(name));
    if (column < 0) {
        QTest::qFail(
                qPrintable(QStringLiteral("no column %1 in the table").arg(QLatin1String(name))),
                __FILE__, __LINE__);
        return QString();
    }
    return m_fields.at(column);
}

QList<TableRow> table(const QString &path, const Placeholders &placeholders)
{
    QList<TableRow> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTest::qFail(qPrintable(path + QStringLiteral(": ") + file.errorString()), __FILE__,
                     __LINE__);
        return rows;
    }
    QStringList names;
    for (int number = 1; !file.atEnd(); ++number) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields = line.split(QLatin1Char('\t'));
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        // Field by field, so that a placeholder may stand for a tab.
        for (QString &field : fields) {
            for (const auto &[name, value] : placeholders)
                field.replace(name, value);
        }
        if (fields.size() != names.size()) {
            QTest::qFail(qPrintable(QStringLiteral("%1:%2: %3 fields, not %4")
                                            .arg(path)
                                            .arg(number)
                                            .arg(fields.size())
                                            .arg(names.size())),
                         __FILE__, __LINE__);
            return {};
        }
        rows.append(TableRow(names, fields));
    }
    return rows;
}

} // namespace TestFiles
