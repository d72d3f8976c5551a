#pragma once

#include <QString>

// The host's interface ids, which name its views and key the panels.
// Compared whole-string and case-sensitive.
namespace ViewNames {

inline const QString Artist = QStringLiteral("com.corvex.Sonavo.extensions.ArtistInterface/1.0");
inline const QString Album = QStringLiteral("com.corvex.Sonavo.extensions.AlbumInterface/1.0");
inline const QString Player = QStringLiteral("com.corvex.Sonavo.extensions.PlayerInterface/1.0");
inline const QString Genre = QStringLiteral("com.corvex.Sonavo.extensions.GenreInterface/1.0");

} // namespace ViewNames
