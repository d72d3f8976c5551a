#pragma once

#include <QString>
#include <QStringList>

// One track as the player shows it; an empty detail is one the player does
// not know and leaves out of the content it publishes.
struct PlayerTrack
{
    QString artist;
    QString album;
    QString song;
    QString genre;

    // The details that are known, joined by " / "; empty when none is.
    QString text() const
    {
        QStringList details { artist, album, song, genre };
        details.removeAll(QString());
        return details.join(QLatin1String(" / "));
    }
};

inline bool operator==(const PlayerTrack &a, const PlayerTrack &b)
{
    return a.artist == b.artist && a.album == b.album && a.song == b.song && a.genre == b.genre;
}
