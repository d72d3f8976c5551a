#pragma once

#include <QDateTime>
#include <QString>

// One request as the store received it, for tests that count requests.
struct StoreRequest
{
    enum class Kind {
        Territory,
        ArtistSearch,
        SimilarTracks,
        SimilarAlbums,
        SimilarArtists,
        Picture,
        Other
    };

    Kind kind = Kind::Other;
    QString path; // decoded
    QString rawPath; // as sent, percent-encoded
    QString query; // as sent
    QString url; // whole, encoded; sent as to a proxy, it names the host asked for
    QDateTime time;
};
