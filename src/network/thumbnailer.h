#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Turns a downloaded picture into the list icon kept in the cache. The
// picture comes from the network: what it may cost to decode is judged from
// its headers before any decoding starts.
class Thumbnailer
{
public:
    static constexpr QSize Size { 80, 80 };

    enum class Result { Saved, DecodeFailed, SaveFailed };

    // The picture stretched to Size, or a null image when the bytes are no
    // picture, a cut-off one, or one that would cost too much to decode.
    static QImage scale(const QByteArray &body);
    // Scales the picture and writes it to path as JPEG, whole or not at all.
    static Result store(const QByteArray &body, const QString &path);
    // Ours are always Size or smaller; the header tells a broken or planted file cheaply.
    static bool isThumbnail(const QString &path);
    // The cached thumbnail at path, decoded only once the bytes read are
    // judged one of ours; a null image for anything else.
    static QImage loadThumbnail(const QString &path);
};
