#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

#include "playertrack.h"

// What one change of an MPRIS player's properties says: what is missing
// from the change stays unset. Whatever the player sends is read with
// bounds, on the number of keys and on each text, since any peer on the bus
// can pose as a player.
struct MprisChange
{
    std::optional<QString> status;
    std::optional<PlayerTrack> track;
    std::optional<bool> canGoPrevious;
    std::optional<bool> canPlay;
    std::optional<bool> canPause;
    std::optional<bool> canGoNext;

    // properties: a map of the player interface's properties, as it arrives
    // in a variant, still marshalled or already read.
    static MprisChange of(const QVariant &properties);

    // The first non-empty text of a value given as a string or a list of
    // strings; empty for anything else.
    static QString firstText(const QVariant &value);
    // The track of a player's metadata map: the first text of each xesam
    // field; without an artist there is no track.
    static PlayerTrack trackFromMetadata(const QVariantMap &metadata);
    // The first of several artists joined in one text: by ";", "feat." or
    // "ft."; by a comma or an ampersand only after the album's artist.
    static QString firstArtist(const QString &artist, const QString &albumArtist);
};
