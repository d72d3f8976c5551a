#include "jpegstructure.h"

namespace {

constexpr uchar Marker = 0xFF;
constexpr uchar EndOfImage = 0xD9;
constexpr uchar StartOfScan = 0xDA;

// Markers that stand alone, without a length: the start of the image, the
// restart markers inside scans, and the stuffed zero of the entropy data.
bool standsAlone(uchar code)
{
    return code == 0x00 || code == 0x01 || code == 0xD8 || (code >= 0xD0 && code <= 0xD7);
}

// Frame headers of the progressive processes (Huffman and arithmetic, with
// and without differential coding).
bool isProgressiveFrame(uchar code)
{
    return code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
}

// Frame headers of every process; C4, C8 and CC in that range are other segments.
bool isFrame(uchar code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

} // namespace

// One pass over the bytes: segments are skipped by their length, and entropy
// data by looking for the next marker, so the cost is linear in the size.
JpegStructure JpegStructure::read(const QByteArray &data)
{
    JpegStructure structure;
    const auto byte = [&data](qsizetype at) { return uchar(data.at(at)); };
    qsizetype at = 0;
    while (at + 1 < data.size()) {
        if (byte(at) != Marker || byte(at + 1) == Marker) {
            ++at;
            continue;
        }
        const uchar code = byte(at + 1);
        if (standsAlone(code)) {
            at += 2;
            continue;
        }
        if (code == EndOfImage) {
            structure.complete = structure.scans > 0 && structure.frames == 1;
            break;
        }
        if (code == StartOfScan)
            ++structure.scans;
        else if (isProgressiveFrame(code))
            structure.progressive = true;
        if (isFrame(code)) {
            ++structure.frames;
            // Length (2), sample precision (1), the height, the width and
            // the number of components.
            if (at + 9 < data.size()) {
                structure.size = QSize((int(byte(at + 7)) << 8) | byte(at + 8),
                                       (int(byte(at + 5)) << 8) | byte(at + 6));
                structure.components = byte(at + 9);
            }
        }
        if (at + 3 >= data.size())
            break;
        at += 2 + ((qsizetype(byte(at + 2)) << 8) | byte(at + 3));
    }
    return structure;
}
