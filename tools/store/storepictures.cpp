#include "storepictures.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include "storefeedwriter.h"

namespace {

QString initials(const QString &label)
{
    QString result;
    const QStringList words = label.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (result.size() >= 2)
            break;
        if (word.at(0).isLetterOrNumber() || word.at(0).isHighSurrogate())
            result += word.at(0).isHighSurrogate() ? word.left(2) : word.left(1);
    }
    return result.isEmpty() ? label.left(1) : result.toUpper();
}

} // namespace

StorePictures::StorePictures(const StoreCatalog &catalog) : m_catalog(catalog) { }

QByteArray StorePictures::picture(const QString &name, QByteArray *format)
{
    const int slash = name.indexOf(QLatin1Char('/'));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (slash < 0 || dot < slash)
        return {};
    const QString kind = name.left(slash);
    const QString id = name.mid(slash + 1, dot - slash - 1);
    QString label;
    StorePicture picture;
    if (kind == QLatin1String("artist")) {
        const StoreArtist *artist = m_catalog.artist(id);
        if (!artist || StoreFeedWriter::artistPictureName(*artist) != name)
            return {};
        label = artist->name;
        picture = artist->picture;
    } else if (kind == QLatin1String("album")) {
        const StoreAlbumRef album = m_catalog.album(id);
        if (!album.album || StoreFeedWriter::albumPictureName(*album.album) != name)
            return {};
        label = album.album->title;
        picture = album.album->picture;
    } else {
        return {};
    }
    *format = picture.format;
    auto it = m_drawn.find(name);
    if (it == m_drawn.end())
        it = m_drawn.insert(name, draw(picture.size, picture.format, label));
    return it.value();
}

QByteArray StorePictures::draw(const QSize &size, const QByteArray &format, const QString &label,
                               bool progressive)
{
    const uint hash = qHash(label, 7u);
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(hash % 360), 150, 210));
    QPainter painter(&image);
    painter.fillRect(QRect(0, size.height() * 2 / 3, size.width(), size.height() / 3 + 1),
                     QColor::fromHsv(int((hash / 360 + 180) % 360), 190, 120));
    // Text needs the font database, which exists only under a GUI application;
    // without one the picture stays a plain colour field.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QFont font;
        font.setPixelSize(qMax(8, qMin(size.width(), size.height()) / 3));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, initials(label));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format == "png" ? "PNG" : "JPEG");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

namespace {

QByteArray bigEndian(int value)
{
    const char bytes[] = { char(value >> 8), char(value & 0xFF) };
    return QByteArray(bytes, 2);
}

void appendSegment(QByteArray &jpeg, char marker, const QByteArray &payload)
{
    jpeg += char(0xFF);
    jpeg += marker;
    jpeg += bigEndian(int(payload.size()) + 2);
    jpeg += payload;
}

// The start of a flat grey JPEG written marker by marker: quantisation table
// 0 of all ones, a frame of 8-bit samples with each component unsampled on
// that table, and Huffman tables 0 of one code each, the single bit 0: for a
// DC difference of zero and, where asked, for the AC end of block.
QByteArray jpegHead(char frameMarker, const QSize &size, int components, bool acTable)
{
    QByteArray jpeg("\xFF\xD8");
    appendSegment(jpeg, char(0xDB), QByteArray(1, '\0') + QByteArray(64, 1));
    QByteArray frame = char(8) + bigEndian(size.height()) + bigEndian(size.width());
    frame += char(components);
    for (char id = 1; id <= components; ++id) {
        const char component[] = { id, char(0x11), '\0' };
        frame.append(component, 3);
    }
    appendSegment(jpeg, frameMarker, frame);
    for (const char tableClass : { char(0x00), char(0x10) }) {
        if (tableClass == 0x10 && !acTable)
            break;
        QByteArray table(1, tableClass);
        table += char(1) + QByteArray(15, '\0');
        table += '\0';
        appendSegment(jpeg, char(0xC4), table);
    }
    return jpeg;
}

qint64 blocksPerComponent(const QSize &size)
{
    return qint64((size.width() + 7) / 8) * ((size.height() + 7) / 8);
}

} // namespace

QByteArray StorePictures::handMadeProgressiveJpeg(const QSize &size, int components, int scans,
                                                  bool withData)
{
    QByteArray jpeg = jpegHead(char(0xC2), size, components, false);
    QByteArray scan(1, char(components));
    for (char id = 1; id <= components; ++id) {
        scan += id;
        scan += '\0';
    }
    // A first DC scan: spectral range 0..0, no approximation.
    scan += QByteArray(3, '\0');
    const qint64 blocks = blocksPerComponent(size) * components;
    const QByteArray data = withData ? QByteArray((blocks + 7) / 8, '\0') : QByteArray();
    for (int i = 0; i < scans; ++i) {
        appendSegment(jpeg, char(0xDA), scan);
        jpeg += data;
    }
    jpeg += "\xFF\xD9";
    return jpeg;
}

QByteArray StorePictures::handMadeBaselineJpeg(const QSize &size, int components)
{
    QByteArray jpeg = jpegHead(char(0xC0), size, components, true);
    // Each block is a zero DC difference and an end of block: two bits.
    const QByteArray data((blocksPerComponent(size) * 2 + 7) / 8, '\0');
    for (char id = 1; id <= components; ++id) {
        const char scan[] = { 1, id, '\0', 0, 63, 0 };
        appendSegment(jpeg, char(0xDA), QByteArray(scan, 6));
        jpeg += data;
    }
    jpeg += "\xFF\xD9";
    return jpeg;
}
