#include "expectedrows.h"

#include <QTime>

#include "storecatalog.h"
#include "storefeedwriter.h"
#include "viewnames.h"

namespace {

const int PanelRows = 4;

QString joined(const QString &first, const QString &second, const QString &id)
{
    return first + QLatin1Char('/') + second + QLatin1Char('/') + id;
}

// Minutes and seconds, with the hours in front from an hour on; on a clock face, so a day wraps.
QString duration(qint64 seconds)
{
    const QTime time = QTime(0, 0).addSecs(int(seconds % 86400));
    return time.toString(seconds < 3600 ? QStringLiteral("mm:ss") : QStringLiteral("h:mm:ss"));
}

} // namespace

QStringList ExpectedRow::modelFields(const QString &storeUrl) const
{
    QStringList fields { title, subtitle, sideText,
                         storeUrl + QStringLiteral("/pictures/") + picture, id };
    if (!artist.isEmpty())
        fields << artist;
    return fields;
}

QList<ExpectedRow> expectedRows(const StoreCatalog &catalog, const QString &view,
                                const StoreArtist &artist)
{
    QList<ExpectedRow> rows;
    if (view == ViewNames::Player) {
        for (const StoreTrackRef &ref : catalog.similarTracks(artist, PanelRows)) {
            rows.append(
                    { ref.track->title, ref.artist->name + QStringLiteral(" | ") + ref.album->title,
                      duration(ref.track->duration), StoreFeedWriter::albumPictureName(*ref.album),
                      ref.track->id, ref.artist->name,
                      joined(ref.artist->name, ref.track->title, ref.track->id) });
        }
    } else if (view == ViewNames::Album) {
        for (const StoreAlbumRef &ref : catalog.similarAlbums(artist, PanelRows)) {
            rows.append({ ref.album->title, ref.artist->name,
                          QString::number(ref.album->trackCount),
                          StoreFeedWriter::albumPictureName(*ref.album), ref.album->id, QString(),
                          joined(ref.artist->name, ref.album->title, ref.album->id) });
        }
    } else {
        for (const StoreArtist *similar : catalog.similarArtists(artist).mid(0, PanelRows))
            rows.append({ similar->name, QString(), QString(),
                          StoreFeedWriter::artistPictureName(*similar), similar->id, QString(),
                          joined(similar->name, QString(), similar->id) });
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
