#include "thumbnailer.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <sys/mman.h>

#include <utility>

#include "cachefile.h"
#include "jpegstructure.h"
#include "pngstructure.h"
#include "regularfile.h"

namespace {

// A JPEG of one scan is decoded a band at a time at an eighth of its size;
// far beyond any store picture, a larger declared size is a broken or
// hostile file.
const qint64 MaxScaledDecodePixels = qint64(8192) * 8192;
// Every other picture is held whole while it is decoded, however small it
// comes out: four bytes a pixel, eight for 16-bit samples, or for a JPEG of
// several scans two for each sample of each component. 12 megapixels (a
// camera's 4000 x 3000, beyond any album art) in three components cost
// 72 MB; a 35-byte GIF claiming 5700 x 5700 took 144 MB.
const qint64 MaxWholeDecodePixels = qint64(4000) * 3000;
const qint64 MaxWholeDecodeBytes = MaxWholeDecodePixels * 3 * 2;
// Each scan is a pass over the whole picture. Encoders write about ten; a
// file with thousands of empty ones keeps the decoder busy for minutes.
const int MaxJpegScans = 64;
// Thumbnails are only ever written here, as JPEG of a few kilobytes.
const qint64 MaxThumbnailBytes = 64 * 1024;

// A picture decoded whole is written into pages of its own, which go back to
// the system the moment it is freed. Taken from the C library's heap, a
// buffer this large (27 MB for 3000 x 2250) would raise the size below which
// the library keeps what is freed: one large picture would leave tens of
// megabytes of freed heap with the host for good.
QImage decodeTarget(const QSize &size, QImage::Format format)
{
    if (format == QImage::Format_Invalid)
        return {};
    const qsizetype bitsPerLine =
            qsizetype(size.width()) * QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = (bitsPerLine + 31) / 32 * 4;
    const size_t length = size_t(bytesPerLine) * size_t(size.height());
    void *pages = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return {};
    auto *mapping = new std::pair<void *, size_t>(pages, length);
    const auto unmap = [](void *info) {
        const auto *mapping = static_cast<std::pair<void *, size_t> *>(info);
        munmap(mapping->first, mapping->second);
        delete mapping;
    };
    return QImage(static_cast<uchar *>(pages), size.width(), size.height(), bytesPerLine, format,
                  unmap, mapping);
}

} // namespace

QImage Thumbnailer::scale(const QByteArray &body)
{
    // The PNG decoder would inflate every text chunk just to tell the size:
    // it only ever sees the picture without them.
    const PngStructure png = PngStructure::read(body);
    // Nor a PNG whose chunks do not fit the file: it takes a chunk's length
    // on trust and asks for as much memory as the chunk claims.
    if (png.signature && !png.valid)
        return {};
    QByteArray bytes = png.valid ? png.withoutText : body;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A picture that does not tell its size cannot be judged before it is decoded.
    const QSize declared = reader.size();
    if (!declared.isValid())
        return {};
    // Only formats whose header tells the size that gets decoded: an icon's
    // directory, for one, may say 256 x 256 and hold a picture of any size.
    const QByteArray format = reader.format();
    if ((format != "jpeg" && format != "png") || (format == "png") != png.valid)
        return {};
    const qint64 pixels = qint64(declared.width()) * declared.height();
    // What the decoder holds whole; nothing for a JPEG that it streams.
    qint64 held = pixels * (png.bitDepth == 16 ? 8 : 4);
    if (format == "jpeg") {
        const JpegStructure jpeg = JpegStructure::read(body);
        if (!jpeg.complete || jpeg.scans > MaxJpegScans)
            return {};
        held = jpeg.progressive || jpeg.scans > 1 ? pixels * qMax(jpeg.components, 1) * 2 : 0;
    }
    if (held == 0 ? pixels > MaxScaledDecodePixels
                  : pixels > MaxWholeDecodePixels || held > MaxWholeDecodeBytes)
        return {};

    // Decoders that can scale while decoding (JPEG) then never build the full
    // picture; the high quality asks them to scale smoothly.
    reader.setQuality(100);
    reader.setScaledSize(Size);
    // The PNG decoder, which cannot scale, reads into the picture it is given
    // when size and format match; the JPEG decoder makes its scaled picture.
    QImage image = format == "png" ? decodeTarget(declared, reader.imageFormat()) : QImage();
    if (!reader.read(&image))
        return {};
    if (!image.isNull() && image.size() != Size)
        image = image.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

Thumbnailer::Result Thumbnailer::store(const QByteArray &body, const QString &path)
{
    const QImage image = scale(body);
    if (image.isNull())
        return Result::DecodeFailed;

    // The pixels alone: text that came with the picture (comments, PNG text)
    // would be written into the thumbnail and could make it larger than any
    // thumbnail is read.
    const QImage pixels(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                        image.format());
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    if (!QImageWriter(&jpeg, "JPEG").write(pixels))
        return Result::SaveFailed;
    return CacheFile::write(path, jpeg.data()) == CacheFile::Status::Written ? Result::Saved
                                                                             : Result::SaveFailed;
}

namespace {

// The bytes of a cached thumbnail of ours, read once from the file and
// judged by their markers before any decoding; empty for anything else.
QByteArray thumbnailBytes(const QString &path)
{
    QByteArray bytes;
    if (RegularFile::read(path, MaxThumbnailBytes, &bytes) != RegularFile::Status::Read)
        return {};
    const JpegStructure jpeg = JpegStructure::read(bytes);
    if (!jpeg.complete || jpeg.size.isEmpty() || jpeg.size.width() > Thumbnailer::Size.width()
        || jpeg.size.height() > Thumbnailer::Size.height())
        return {};
    return bytes;
}

} // namespace

// Asked for every cached picture a panel shows, on the user interface's
// thread: the file's markers are read rather than the picture decoded.
bool Thumbnailer::isThumbnail(const QString &path)
{
    return !thumbnailBytes(path).isEmpty();
}

QImage Thumbnailer::loadThumbnail(const QString &path)
{
    QByteArray bytes = thumbnailBytes(path);
    if (bytes.isEmpty())
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // The decoder's own reading of the header has the last word.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > Size.width() || size.height() > Size.height())
        return {};
    return reader.read();
}
