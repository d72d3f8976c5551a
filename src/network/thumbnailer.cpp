#include "thumbnailer.h"

#include <QBuffer>
#include <QImageReader>

#include "jpegstructure.h"

namespace {

// Far beyond any store picture; a larger declared size is a broken or hostile file.
const qint64 MaxDeclaredPixels = qint64(8192) * 8192;
// A progressive JPEG is held whole as coefficients, two bytes for each pixel
// of each component, however small it is decoded: 12 megapixels (a camera's
// 4000 x 3000, beyond any album art) cost at most 72 MB.
const qint64 MaxProgressivePixels = qint64(4000) * 3000;
// Each scan is a pass over the whole picture. Encoders write about ten; a
// file with thousands of empty ones keeps the decoder busy for minutes.
const int MaxJpegScans = 64;

} // namespace

QImage Thumbnailer::scale(const QByteArray &body)
{
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize declared = reader.size();
    const qint64 pixels = declared.isValid() ? qint64(declared.width()) * declared.height() : 0;
    if (pixels > MaxDeclaredPixels)
        return {};
    if (reader.format() == "jpeg") {
        const JpegStructure jpeg = JpegStructure::read(body);
        if (!jpeg.complete || jpeg.scans > MaxJpegScans
            || (jpeg.progressive && pixels > MaxProgressivePixels)) {
            return {};
        }
    }

    // Decoders that can scale while decoding (JPEG) then never build the full
    // picture; the high quality asks them to scale smoothly.
    reader.setQuality(100);
    reader.setScaledSize(Size);
    QImage image = reader.read();
    if (!image.isNull() && image.size() != Size)
        image = image.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

bool Thumbnailer::isThumbnail(const QString &path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    return reader.canRead() && !size.isEmpty() && size.width() <= Size.width()
            && size.height() <= Size.height();
}
