#pragma once

#include <QtPlugin>

// Marks an extension that serves the music player's now-playing view;
// the interface id is that view's name.
class MusicPlayerExtensionInterface
{
public:
    virtual ~MusicPlayerExtensionInterface() { }
};

Q_DECLARE_INTERFACE(MusicPlayerExtensionInterface,
                    "com.corvex.Sonavo.extensions.PlayerInterface/1.0")
