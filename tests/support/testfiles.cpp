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

QList<QStringList> table(const QString &path, int columns, const Placeholders &placeholders)
{
    QList<QStringList> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTest::qFail(qPrintable(path + QStringLiteral(": ") + file.errorString()), __FILE__,
                     __LINE__);
        return rows;
    }
    for (int number = 1; !file.atEnd(); ++number) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        rows.append(line.split(QLatin1Char('\t')));
        // Field by field, so that a placeholder may stand for a tab.
        for (QString &field : rows.last()) {
            for (const auto &[name, value] : placeholders)
                field.replace(name, value);
        }
        if (rows.last().size() != columns) {
            QTest::qFail(qPrintable(QStringLiteral("%1:%2: %3 fields, not %4")
                                            .arg(path)
                                            .arg(number)
                                            .arg(rows.last().size())
                                            .arg(columns)),
                         __FILE__, __LINE__);
            return {};
        }
    }
    return rows;
}

} // namespace TestFiles
