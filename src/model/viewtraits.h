#pragma once

#include <QString>

#include "rowfield.h"
#include "storequeries.h"
#include "viewnames.h"

// Everything that differs between the host's views, in one table: what the
// store is asked for, where the deep links lead and what the panel shows
// around its rows. A view not in the table (the genre view) gets the last
// row, which asks for similar artists and offers no store row.
struct ViewTraits
{
    const QString *viewName;
    // The similar-items request: its path segment and the answer's shape.
    QString similarPath;
    StoreQueries::Similar similar;
    // Deep links: the store row's ("more") and a touched row's, which names
    // two of the row's fields before the item's id.
    QString moreLink;
    QString rowLink;
    RowField::Field rowLinkFirst;
    RowField::Field rowLinkSecond;
    // Whether the panel ends in the store row, sits above a large spacer and
    // lists artists (its own header and cells).
    bool storeRow;
    bool spacer;
    bool artistCells;

    static const ViewTraits &of(const QString &viewName)
    {
        static const ViewTraits table[] = {
            { &ViewNames::Player, QStringLiteral("tracks/"), StoreQueries::Similar::Tracks,
              QStringLiteral("#Artist/SolvaneSonavoNowPlayingViewVellora/"),
              QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/"), RowField::TrackArtist,
              RowField::Title, true, true, false },
            { &ViewNames::Album, QStringLiteral("albums/"), StoreQueries::Similar::Albums,
              QStringLiteral("#Artist/SolvaneSonavoSongViewVellora/"),
              QStringLiteral("#Product/SolvaneSonavoSongViewVellora/"), RowField::Subtitle,
              RowField::Title, true, false, false },
            { &ViewNames::Artist, QString(), StoreQueries::Similar::Artists,
              QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/"),
              QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/"), RowField::Title,
              RowField::None, true, false, true },
            { nullptr, QString(), StoreQueries::Similar::Artists, QString(), QString(),
              RowField::None, RowField::None, false, false, false },
        };
        for (const ViewTraits &traits : table) {
            if (!traits.viewName || *traits.viewName == viewName)
                return traits;
        }
        Q_UNREACHABLE();
    }
};
