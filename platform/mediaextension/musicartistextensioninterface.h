#pragma once

#include <QtPlugin>

// Marks an extension that serves the music player's artist view; the
// interface id is that view's name.
class MusicArtistExtensionInterface
{
public:
    virtual ~MusicArtistExtensionInterface() { }
};

Q_DECLARE_INTERFACE(MusicArtistExtensionInterface,
                    "com.corvex.Sonavo.extensions.ArtistInterface/1.0")
