#pragma once

#include <QtPlugin>

// Marks an extension that serves the music player's album view; the
// interface id is that view's name.
class MusicAlbumExtensionInterface
{
public:
    virtual ~MusicAlbumExtensionInterface() { }
};

Q_DECLARE_INTERFACE(MusicAlbumExtensionInterface, "com.corvex.Sonavo.extensions.AlbumInterface/1.0")
