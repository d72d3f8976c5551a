#pragma once

#include <QByteArray>
#include <QSize>

// What a PNG file's chunks say about the work of decoding it, read without
// decoding anything, and the file without its text. The decoder inflates
// every compressed text chunk and keeps all text with the picture: a few
// hundred kilobytes of zTXt chunks inflate to hundreds of megabytes, and a
// 16-bit picture costs twice the memory of an 8-bit one of the same size.
struct PngStructure
{
    // The file starts with the PNG signature.
    bool signature = false;
    // The signature, a header first and chunks that fit the file, up to the
    // end chunk.
    bool valid = false;
    QSize size;
    int bitDepth = 0;
    // The same picture with its tEXt, zTXt and iTXt chunks left out.
    QByteArray withoutText;

    static PngStructure read(const QByteArray &data);
};
