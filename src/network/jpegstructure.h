#pragma once

#include <QByteArray>
#include <QSize>

// What a JPEG file's markers say about the work of decoding it, read without
// decoding anything. A picture of more than one scan, progressive or not, is
// held whole as coefficients, whatever size it is decoded to, and each scan
// is a pass over the whole picture; neither shows in the picture's size alone.
struct JpegStructure
{
    bool progressive = false;
    int scans = 0;
    // One frame header, and the last scan followed by the end-of-image
    // marker: the JPEG decoder pads a picture cut short with grey and calls
    // that success, and decodes the first of several frame headers.
    bool complete = false;
    // As the frame header declares them; empty and 0 without one.
    QSize size;
    int components = 0;
    int frames = 0;

    static JpegStructure read(const QByteArray &data);
};
