#pragma once

#include <QString>
#include <QStringList>

#include "bridgeoptions.h"
#include "playertrack.h"

class QCommandLineParser;

// The command line of vellora-player, read once and checked before the
// application object exists: the home, the display, the bus and the plug-in
// are all chosen from it.
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
    // Empty unless named: the one beside the player is found once the
    // application object knows where the player is.
    QString pluginFile;
    bool pluginNamed = false;
    bool verbose = false; // the plug-in's debug lines shown
    bool openData = false; // the bridge to open data instead of the store emulator
    BridgeOptions bridge;

    // --help, --help-all or --version: nothing runs, no bus or home is
    // made; the parser answers them once the application object exists.
    bool tellsAboutItself = false;
    QString homeFolder; // empty: a throw-away home
    // Qt's own options that were given (--platform and the like), for the
    // application object; the player's own never reach it.
    QStringList qtArguments;
    bool platformGiven = false;

    // Unknown options, missing or bad values give false and the reason.
    // The parser keeps the options for --help and the like.
    static bool parse(QCommandLineParser *parser, const QStringList &arguments,
                      PlayerOptions *options, QString *error);
};
