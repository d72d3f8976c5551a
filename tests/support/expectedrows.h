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
    QStringList subtitleHas; // texts the subtitle contains
    QString sideTextHas; // a text the side text contains
    QString link; // the deep link's names and store id
};

// The rows of the view (a view name) for the artist, at most four, in order.
QList<ExpectedRow> expectedRows(const StoreCatalog &catalog, const QString &view,
                                const StoreArtist &artist);
QStringList expectedTitles(const StoreCatalog &catalog, const QString &view,
                           const StoreArtist &artist);
