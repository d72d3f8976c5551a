#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class StoreCatalog;
struct StoreArtist;

// One row that a panel should show for an artist, taken from the store's
// catalog rather than from the plug-in.
struct ExpectedRow
{
    QString title;
    QString subtitle;
    QString sideText;
    QString picture; // as in the store's picture links, e.g. "album/al100101.jpg"
    QString id;
    QString artist; // tracks only: the artist the track's deep link names
    QString link; // the deep link's names and store id

    // The row's fields as the model holds them, the picture under the store's base URL.
    QStringList modelFields(const QString &storeUrl) const;
};

// The rows of the view (a view name) for the artist, at most four, in order.
QList<ExpectedRow> expectedRows(const StoreCatalog &catalog, const QString &view,
                                const StoreArtist &artist);
QStringList expectedTitles(const StoreCatalog &catalog, const QString &view,
                           const StoreArtist &artist);
