#pragma once

#include <QString>

#include "bridgeoptions.h"
#include "playertrack.h"

class QCoreApplication;

// The command line of vellora-player, read and checked.
struct PlayerOptions
{
    enum class Run {
        Window, // the playlist in a window
        Panel, // one track: print, screenshot, touch a row
        ListPlugins, // the metadata of the plug-ins, read without loading them
        FollowPrint, // each track of a player on the bus, printed
    };

    Run run = Run::Window;
    QString viewName;
    QString viewId;
    PlayerTrack track; // empty artist: none given
    bool print = false;
    QString screenshotFile;
    int clickRow = -1; // from 0
    bool more = false;
    int timeoutMs = 0;
    bool timeoutGiven = false;
    bool follow = false;
    QString followName; // empty: the first player that plays
    QString settingsFile;
    QString pluginFile;
    bool pluginNamed = false; // --plugin given, rather than the one found beside the player
    bool verbose = false; // the plug-in's debug lines shown
    bool openData = false; // the bridge to open data instead of the store emulator
    BridgeOptions bridge;

    // Before the application object exists: whether the run shows a window,
    // which decides the platform plug-in, and whether it follows the
    // players on the caller's session bus.
    static bool opensWindow(int argc, char **argv);
    // --help, --help-all and --version: nothing runs, no bus or home is made.
    static bool onlyTellsAboutItself(int argc, char **argv);
    static bool follows(int argc, char **argv);

    // --help, --help-all and --version end the process as QCommandLineParser
    // does; an unknown option, a missing or bad value gives false and the reason.
    // pluginArgument: what PluginHost::takePluginArgument() took, if anything.
    static bool parse(const QCoreApplication &app, const QString &pluginArgument,
                      PlayerOptions *options, QString *error);
};
