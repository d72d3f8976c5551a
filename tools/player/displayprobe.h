#pragma once

#include <QByteArray>

// Tells, before Qt loads a platform plug-in, which window system a window
// can reach: the plug-in aborts the process when the display it is told of
// is not there, where the player would rather say so.
class DisplayProbe
{
public:
    enum class Kind { None, Wayland, X11 };

    // A Wayland compositor first, as a Wayland session wants, then X.
    static Kind reachable();
    // The socket WAYLAND_DISPLAY names: a path, or a name in the runtime folder.
    static QByteArray waylandSocket();
};
