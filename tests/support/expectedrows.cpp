#include "expectedrows.h"

#include "storecatalog.h"
#include "viewnames.h"

namespace {

const int PanelRows = 4;

QString joined(const QString &first, const QString &second, const QString &id)
{
    return first + QLatin1Char('/') + second + QLatin1Char('/') + id;
}

} // namespace

QList<ExpectedRow> expectedRows(const StoreCatalog &catalog, const QString &view,
                                const StoreArtist &artist)
{
    QList<ExpectedRow> rows;
    if (view == ViewNames::Artist) {
        for (const StoreArtist *similar : catalog.similarArtists(artist).mid(0, PanelRows))
            rows.append({ similar->name,
                          {},
                          QString(),
                          joined(similar->name, QString(), similar->id) });
    } else if (view == ViewNames::Album) {
        for (const StoreAlbumRef &ref : catalog.similarAlbums(artist, PanelRows)) {
            rows.append({ ref.album->title,
                          { ref.artist->name },
                          QString::number(ref.album->trackCount),
                          joined(ref.artist->name, ref.album->title, ref.album->id) });
        }
    } else {
        // A track's side text is its duration, minutes and seconds.
        for (const StoreTrackRef &ref : catalog.similarTracks(artist, PanelRows)) {
            rows.append({ ref.track->title,
                          { ref.artist->name, ref.album->title },
                          QStringLiteral(":"),
                          joined(ref.artist->name, ref.track->title, ref.track->id) });
        }
    }
    return rows;
}

QStringList expectedTitles(const StoreCatalog &catalog, const QString &view,
                           const StoreArtist &artist)
{
    QStringList titles;
    for (const ExpectedRow &row : expectedRows(catalog, view, artist))
        titles.append(row.title);
    return titles;
}
