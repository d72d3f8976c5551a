#include "testfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>

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

} // namespace TestFiles
