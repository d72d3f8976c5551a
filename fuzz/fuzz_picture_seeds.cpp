// Writes the seeds of the pictures fuzz target into a folder: a small picture
// in every format the installed image plug-ins write, progressive JPEGs, and
// hand-made pictures of the formats that have no writer.

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>

#include "storepictures.h"

namespace {

bool writeSeed(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    QFile file(folder.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray encoded(const QImage &image, const QByteArray &format, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// The smallest GIF: one pixel, a two-colour table, one image block.
QByteArray handMadeGif()
{
    const unsigned char gif[] = { 'G',  'I',  'F',  '8',  '9',  'a',  1,    0,    1,    0,
                                  0x80, 0,    0,    0xff, 0,    0,    0,    0,    0xff, ',',
                                  0,    0,    0,    0,    1,    0,    1,    0,    0,    2,
                                  2,    0x44, 1,    0,    ';' };
    return QByteArray(reinterpret_cast<const char *>(gif), sizeof(gif));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_picture_seeds FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;

    QImage image(13, 7, QImage::Format_ARGB32);
    image.fill(QColor(200, 120, 40, 180));
    QPainter(&image).fillRect(3, 2, 6, 3, Qt::darkBlue);

    bool ok = writeSeed(folder, QStringLiteral("seed.gif"), handMadeGif());
    const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    for (const QByteArray &format : formats)
        ok = writeSeed(folder, QStringLiteral("seed.") + QString::fromLatin1(format),
                       encoded(image, format, false))
                && ok;
    ok = writeSeed(folder, QStringLiteral("seed-progressive.jpeg"), encoded(image, "jpeg", true))
            && ok;
    ok = writeSeed(folder, QStringLiteral("seed-progressive-by-hand.jpeg"),
                   StorePictures::handMadeProgressiveJpeg(QSize(16, 16), 3, 3, true))
            && ok;

    // After the header, a text chunk that claims 1.7 GB: the file ends a few
    // bytes into it.
    const QByteArray png = encoded(image, "png", false);
    ok = writeSeed(folder, QStringLiteral("seed-text-longer-than-the-file.png"),
                   png.left(33) + QByteArray::fromHex("693f002d") + "tEXtComment")
            && ok;

    const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    std::printf("seeds for %lld writable formats; readable: %s\n", qlonglong(formats.size()),
                readable.join(' ').constData());
    return ok ? 0 : 1;
}
