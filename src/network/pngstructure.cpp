#include "pngstructure.h"

#include <QtEndian>

#include <limits>

namespace {

constexpr char Signature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype SignatureSize = 8;
// Length, type, and after the data its CRC.
constexpr qsizetype ChunkFrame = 12;

bool isText(const char *type)
{
    return qstrncmp(type, "tEXt", 4) == 0 || qstrncmp(type, "zTXt", 4) == 0
            || qstrncmp(type, "iTXt", 4) == 0;
}

} // namespace

// One pass over the chunks, each skipped by its length.
PngStructure PngStructure::read(const QByteArray &data)
{
    PngStructure structure;
    if (!data.startsWith(QByteArrayView(Signature, SignatureSize)))
        return structure;
    structure.signature = true;
    QByteArray kept(Signature, SignatureSize);
    kept.reserve(data.size());
    qsizetype at = SignatureSize;
    bool first = true;
    while (at + ChunkFrame <= data.size()) {
        const quint32 length = qFromBigEndian<quint32>(data.constData() + at);
        const char *type = data.constData() + at + 4;
        if (length > quint32(data.size() - at - ChunkFrame))
            return structure;
        const qsizetype whole = ChunkFrame + qsizetype(length);
        if (first) {
            // The header: width, height, bit depth, colour type, and three more bytes.
            if (qstrncmp(type, "IHDR", 4) != 0 || length != 13)
                return structure;
            const char *header = type + 4;
            const auto dimension = [](const char *at) {
                return int(qMin(qFromBigEndian<quint32>(at), quint32(std::numeric_limits<int>::max())));
            };
            structure.size = QSize(dimension(header), dimension(header + 4));
            structure.bitDepth = uchar(header[8]);
            first = false;
        }
        if (!isText(type))
            kept.append(data.constData() + at, whole);
        at += whole;
        if (qstrncmp(type, "IEND", 4) == 0) {
            structure.valid = true;
            structure.withoutText = kept;
            return structure;
        }
    }
    return structure;
}
