#pragma once

#include <Qt>

// The fields of a recommendation row, in the order the model keeps them.
// The model serves each field under its own role, Qt::UserRole + field.
namespace RowField {

enum Field : int {
    Title,
    Subtitle, // the artist, or for a track "artist | album"
    SideText, // a track's length, an album's track count; empty for an artist
    Picture, // the picture's web address until it is cached, then the cached file
    StoreId,
    TrackArtist, // tracks only: the artist named in the track's deep link
    None = -1
};

constexpr int role(Field field)
{
    return Qt::UserRole + field;
}

} // namespace RowField
