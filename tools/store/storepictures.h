#pragma once

#include <QByteArray>
#include <QHash>
#include <QSize>
#include <QString>

#include "storecatalog.h"

// The pictures the store's answers link to: original artwork (a colour field,
// a band and the name's initials) drawn on first request and kept.
class StorePictures
{
public:
    explicit StorePictures(const StoreCatalog &catalog);

    // name as in the picture links, for example "album/al100101.jpg"; an
    // empty result means no such picture.
    QByteArray picture(const QString &name, QByteArray *format);

    // label gives the initials and, hashed, the colours.
    static QByteArray draw(const QSize &size, const QByteArray &format, const QString &label,
                           bool progressive = false);
    // A flat grey progressive JPEG written marker by marker: components at
    // full resolution, each scan a first DC scan over all of them, with all
    // differences zero when withData is set and no data at all otherwise.
    static QByteArray handMadeProgressiveJpeg(const QSize &size, int components, int scans,
                                              bool withData);
    // A flat grey baseline JPEG of one scan for each component (not
    // interleaved): small, yet the decoder holds all its coefficients.
    static QByteArray handMadeBaselineJpeg(const QSize &size, int components);

private:
    const StoreCatalog &m_catalog;
    QHash<QString, QByteArray> m_drawn;
};
