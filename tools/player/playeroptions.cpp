#include "playeroptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "bridgeoptions.h"
#include "playerenvironment.h"
#include "pluginhost.h"

namespace {

// Every option the player takes: name, help text, value name and default
// (none for a switch).
struct OptionEntry
{
    const char *name;
    const char *description;
    const char *valueName;
    const char *defaultValue;
};

const OptionEntry optionTable[] = {
    { "view", "player, album or artist.", "VIEW", "player" },
    { "artist", "Artist of the track.", "NAME", nullptr },
    { "album", "Album of the track.", "TITLE", nullptr },
    { "song", "Title of the track.", "TITLE", nullptr },
    { "genre", "Genre of the track.", "GENRE", nullptr },
    { "print", "Wait for the panel, print its rows and exit.", nullptr, nullptr },
    { "screenshot", "Write the panel, pictures loaded, to a PNG.", "FILE", nullptr },
    { "click", "Touch row N (from 1) and print the store link.", "N", nullptr },
    { "more", "Touch the store row and print the store link.", nullptr, nullptr },
    { "timeout", "Seconds to wait for the panel (default 60).", "S", "60" },
    { "home", "Run in this home, with its own store settings, cache and session bus.", "DIR",
      nullptr },
    { "settings", "Store client settings file naming the store to use instead of the embedded one.",
      "FILE", nullptr },
    { "plugin", "The plug-in library.", "FILE", nullptr },
    { "list-plugins",
      "Print the name, version, description and views of each plug-in in the plug-in folder "
      "(or of --plugin), read without loading it.",
      nullptr, nullptr },
    { "follow",
      "Follow the current track of the music player NAME (org.mpris.MediaPlayer2.NAME) on the "
      "session bus, or of the first one that plays; with --print, print each change until "
      "interrupted or --timeout.",
      nullptr, nullptr },
    { "open-data",
      "Answer the panel from MusicBrainz, ListenBrainz and the Cover Art Archive instead of "
      "the embedded store emulator; the names of the artists shown go to those services.",
      nullptr, nullptr },
    { "verbose", "Show the plug-in's debug lines (QT_LOGGING_RULES also decides).", nullptr,
      nullptr },
};

// Qt's own options, which the application object takes, but for -plugin,
// whose name is the player's: handed on to it. Their help is Qt's, under
// --help-all.
const struct
{
    const char *name;
    bool takesValue;
} qtOptions[] = {
    { "platform", true },      { "platformpluginpath", true },
    { "platformtheme", true }, { "qwindowgeometry", true },
    { "qwindowicon", true },   { "qwindowtitle", true },
    { "reverse", false },      { "session", true },
    { "qmljsdebugger", true },
};

QCommandLineOption makeOption(const OptionEntry &entry)
{
    QCommandLineOption option(QLatin1String(entry.name), QLatin1String(entry.description));
    if (entry.valueName)
        option.setValueName(QLatin1String(entry.valueName));
    if (entry.defaultValue)
        option.setDefaultValue(QLatin1String(entry.defaultValue));
    return option;
}

} // namespace

bool PlayerOptions::parse(QCommandLineParser *parser, const QStringList &arguments,
                          PlayerOptions *options, QString *error)
{
    parser->setApplicationDescription(QStringLiteral(
            "Demo music player for the libvellora plug-in.\n"
            "Without --home it runs in a throw-away home, with its own session bus and the\n"
            "embedded store emulator. With neither --print, --screenshot, --click nor --more\n"
            "it opens a window with a small playlist. With --follow it shows the track of a\n"
            "music player on your session bus instead (MPRIS 2)."));
    // Qt's own options are written with one dash as often as with two.
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser->addHelpOption();
    parser->addVersionOption();
    for (const OptionEntry &entry : optionTable)
        parser->addOption(makeOption(entry));
    BridgeOptions::addTo(parser);
    for (const auto &qt : qtOptions) {
        QCommandLineOption option(QLatin1String(qt.name), QString());
        if (qt.takesValue)
            option.setValueName(QStringLiteral("VALUE"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
    parser->addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The player to follow."),
                                  QStringLiteral("[NAME]"));
    // A mistake is a usage error (exit 2) said in the player's own words.
    if (!parser->parse(arguments)) {
        *error = parser->errorText();
        return false;
    }
    options->tellsAboutItself = parser->isSet(QStringLiteral("help"))
            || parser->isSet(QStringLiteral("help-all"))
            || parser->isSet(QStringLiteral("version"));
    for (const auto &qt : qtOptions) {
        const QString name = QLatin1String(qt.name);
        if (!parser->isSet(name))
            continue;
        options->qtArguments.append(QLatin1Char('-') + name);
        if (qt.takesValue)
            options->qtArguments.append(parser->value(name));
    }
    options->platformGiven = parser->isSet(QStringLiteral("platform"));
    if (options->tellsAboutItself)
        return true;
    options->homeFolder = parser->value(QStringLiteral("home"));

    options->verbose = parser->isSet(QStringLiteral("verbose"));
    options->openData = parser->isSet(QStringLiteral("open-data"));
    if (!BridgeOptions::read(*parser, &options->bridge, error))
        return false;
    // A throw-away home's cache goes with it: the bridge keeps its answers
    // in the caller's.
    const char *callerCache = PlayerEnvironment::CallerCacheVariable;
    if (options->bridge.cacheFolder.isEmpty() && qEnvironmentVariableIsSet(callerCache))
        options->bridge.cacheFolder =
                qEnvironmentVariable(callerCache) + QLatin1String("/vellora-bridge");
    options->pluginNamed = parser->isSet(QStringLiteral("plugin"));
    // The plug-in loader looks for a relative name among Qt's library folders.
    if (options->pluginNamed)
        options->pluginFile = QFileInfo(parser->value(QStringLiteral("plugin"))).absoluteFilePath();
    if (parser->isSet(QStringLiteral("list-plugins"))) {
        options->run = Run::ListPlugins;
        return true;
    }

    options->viewName = parser->value(QStringLiteral("view"));
    options->viewId = PluginHost::viewIdForName(options->viewName);
    if (options->viewId.isEmpty()) {
        *error = QStringLiteral("unknown view %1").arg(options->viewName);
        return false;
    }
    bool ok = false;
    options->timeoutMs = parser->value(QStringLiteral("timeout")).toInt(&ok) * 1000;
    if (!ok || options->timeoutMs <= 0) {
        *error = QStringLiteral("bad time-out %1").arg(parser->value(QStringLiteral("timeout")));
        return false;
    }
    if (parser->isSet(QStringLiteral("click"))) {
        options->clickRow = parser->value(QStringLiteral("click")).toInt(&ok) - 1;
        if (!ok || options->clickRow < 0) {
            *error = QStringLiteral("bad row %1").arg(parser->value(QStringLiteral("click")));
            return false;
        }
    }
    options->timeoutGiven = parser->isSet(QStringLiteral("timeout"));
    options->follow = parser->isSet(QStringLiteral("follow"));
    const QStringList names = parser->positionalArguments();
    if (names.size() > (options->follow ? 1 : 0)) {
        *error = QStringLiteral("unexpected argument %1").arg(names.constLast());
        return false;
    }
    options->followName = names.value(0);
    if (parser->isSet(QStringLiteral("artist"))) {
        if (parser->value(QStringLiteral("artist")).trimmed().isEmpty()) {
            *error = QStringLiteral("--artist needs a name");
            return false;
        }
        options->track = { parser->value(QStringLiteral("artist")),
                           parser->value(QStringLiteral("album")),
                           parser->value(QStringLiteral("song")),
                           parser->value(QStringLiteral("genre")) };
    }
    if (parser->isSet(QStringLiteral("home"))
        && !QFileInfo(parser->value(QStringLiteral("home"))).isDir()) {
        *error = QStringLiteral("no folder %1 for --home")
                         .arg(parser->value(QStringLiteral("home")));
        return false;
    }
    options->print = parser->isSet(QStringLiteral("print"));
    options->screenshotFile = parser->value(QStringLiteral("screenshot"));
    options->more = parser->isSet(QStringLiteral("more"));
    options->settingsFile = parser->value(QStringLiteral("settings"));
    if (options->follow
        && (!options->screenshotFile.isEmpty() || options->clickRow >= 0 || options->more)) {
        *error = QStringLiteral("--follow takes --print but not --screenshot, --click or --more");
        return false;
    }
    const bool panelRun = options->print || !options->screenshotFile.isEmpty()
            || options->clickRow >= 0 || options->more;
    options->run = options->follow && options->print ? Run::FollowPrint
            : panelRun                               ? Run::Panel
                                                     : Run::Window;
    return true;
}
