#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

// One fault that the store plays on requests instead of its normal answer.
// Faults are kept in the order they were added; each request takes the first
// one whose pathContains is found in its path (an empty pathContains matches
// every path).
struct StoreFault
{
    Q_GADGET
public:
    enum class Kind {
        Delay, // the normal answer after delayMs
        Stall, // no answer at all; the connection stays open
        Status, // HTTP status (default 500) with a short text body
        CutBody, // full Content-Length, half of the body, then close
        CutBodyNoLength, // no Content-Length, half of the body, then close
        MalformedXml, // the last entry's end tag misspelt
        EmptyBody, // 200 with an empty body
        NotAnImage, // text under the picture's image content type
        HugePicture, // a real picture of pictureSize
        ExtraEntries, // extraEntries more entries than itemsperpage asked
        Drip, // the answer one byte per intervalMs
        StallAfterHeaders, // status line and headers, then nothing
        ChunkedWithoutLastChunk, // chunked body without its final chunk, then close
        ConnectionReset, // headers, half of the body, then TCP RST
        RedirectLoop, // 302 to a pair of store paths that redirect to each other
        HtmlErrorPage, // an HTML page, status as set (default 200)
        Doctype, // the answer with a DOCTYPE naming the store's "/_dtd/" path
        EntityBomb, // nested internal entities expanding to gigabytes
        DeepNesting, // nestingDepth nested elements inside the first entry
        TruncatedJpeg, // the first half of a real JPEG picture
        JpegClaimingHugeSize, // a small JPEG whose frame header claims 65000 x 65000
        ProgressiveJpeg, // a real progressive JPEG picture of pictureSize
        // A progressive JPEG of pictureSize, three components, made by hand:
        // one scan of real data that holds every DC difference at zero.
        ProgressiveJpegBomb,
        // A progressive grey JPEG of pictureSize whose one scan, without
        // data, repeats scans times.
        JpegScanFlood,
        ReplaceBody, // body instead of the answer, under the answer's status and type
        PadBody, // the answer followed by blanks up to bodySize bytes
        EndlessChunked, // the answer, then chunks of blanks until the client goes away
        Hold, // the answer once StoreServer::releaseHeld() is called
        InterimAnswers, // interimStatuses as informational answers, then the answer
    };
    Q_ENUM(Kind)

    StoreFault() = default;
    explicit StoreFault(Kind kind, const QString &pathContains = QString())
        : kind(kind),
          pathContains(pathContains)
    { }

    Kind kind = Kind::Delay;
    QString pathContains;
    int times = 1; // requests it applies to; 0 or less: every request until cleared
    int delayMs = 0; // added before any answer of any kind
    int status = 0; // 0: the kind's default
    int extraEntries = 5;
    int intervalMs = 1000;
    int nestingDepth = 100000;
    QSize pictureSize = QSize(3000, 2000);
    int scans = 2000; // JpegScanFlood
    QByteArray body; // ReplaceBody
    qint64 bodySize = 0; // PadBody
    int chunkSize = 0x10000; // EndlessChunked
    QList<int> interimStatuses = { 100, 100, 100, 103 }; // InterimAnswers
};

Q_DECLARE_METATYPE(StoreFault)
