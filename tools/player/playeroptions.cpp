#include "playeroptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <iterator>

#include "playerpaths.h"
#include "pluginhost.h"

namespace {

const char *const helpOptions[] = { "--help", "-h", "--help-all", "--version", "-v" };
const char *const batchOptions[] = { "--print", "--screenshot", "--click", "--more",
                                     "--list-plugins" };

bool hasOption(int argc, char **argv, const char *const *options, size_t count)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        for (size_t j = 0; j < count; ++j) {
            if (argument == options[j] || argument.startsWith(QByteArray(options[j]) + '='))
                return true;
        }
    }
    return false;
}

} // namespace

bool PlayerOptions::onlyTellsAboutItself(int argc, char **argv)
{
    return hasOption(argc, argv, helpOptions, std::size(helpOptions));
}

bool PlayerOptions::opensWindow(int argc, char **argv)
{
    return !onlyTellsAboutItself(argc, argv)
            && !hasOption(argc, argv, batchOptions, std::size(batchOptions));
}

bool PlayerOptions::follows(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--follow") == 0)
            return true;
    }
    return false;
}

QString PlayerOptions::takePluginArgument(int *argc, char **argv)
{
    QString plugin;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--plugin" && i + 1 < *argc) {
            plugin = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (argument.startsWith("--plugin=")) {
            plugin = QString::fromLocal8Bit(argument.mid(9));
            continue;
        }
        argv[kept++] = argv[i];
    }
    *argc = kept;
    argv[kept] = nullptr;
    return plugin;
}

bool PlayerOptions::parse(const QCoreApplication &app, const QString &pluginArgument,
                          PlayerOptions *options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Demo music player for the libvellora plug-in.\n"
            "Without --home it runs in a throw-away home, with its own session bus and the\n"
            "embedded store emulator. With neither --print, --screenshot, --click nor --more\n"
            "it opens a window with a small playlist. With --follow it shows the track of a\n"
            "music player on your session bus instead (MPRIS 2)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption viewOption(QStringLiteral("view"),
                                        QStringLiteral("player, album or artist."),
                                        QStringLiteral("VIEW"), QStringLiteral("player"));
    const QCommandLineOption artistOption(QStringLiteral("artist"),
                                          QStringLiteral("Artist of the track."),
                                          QStringLiteral("NAME"));
    const QCommandLineOption albumOption(QStringLiteral("album"),
                                         QStringLiteral("Album of the track."),
                                         QStringLiteral("TITLE"));
    const QCommandLineOption songOption(
            QStringLiteral("song"), QStringLiteral("Title of the track."), QStringLiteral("TITLE"));
    const QCommandLineOption genreOption(QStringLiteral("genre"),
                                         QStringLiteral("Genre of the track."),
                                         QStringLiteral("GENRE"));
    const QCommandLineOption printOption(
            QStringLiteral("print"),
            QStringLiteral("Wait for the panel, print its rows and exit."));
    const QCommandLineOption screenshotOption(
            QStringLiteral("screenshot"),
            QStringLiteral("Write the panel, pictures loaded, to a PNG."), QStringLiteral("FILE"));
    const QCommandLineOption clickOption(
            QStringLiteral("click"),
            QStringLiteral("Touch row N (from 1) and print the store link."), QStringLiteral("N"));
    const QCommandLineOption moreOption(
            QStringLiteral("more"),
            QStringLiteral("Touch the store row and print the store link."));
    const QCommandLineOption timeoutOption(
            QStringLiteral("timeout"),
            QStringLiteral("Seconds to wait for the panel (default 60)."), QStringLiteral("S"),
            QStringLiteral("60"));
    const QCommandLineOption homeOption(
            QStringLiteral("home"),
            QStringLiteral("Run in this home, with its own store settings, cache "
                           "and session bus."),
            QStringLiteral("DIR"));
    const QCommandLineOption settingsOption(
            QStringLiteral("settings"),
            QStringLiteral("Store client settings file naming the store to "
                           "use instead of the embedded one."),
            QStringLiteral("FILE"));
    const QCommandLineOption pluginOption(QStringLiteral("plugin"),
                                          QStringLiteral("The plug-in library."),
                                          QStringLiteral("FILE"), PlayerPaths::defaultPluginFile());
    const QCommandLineOption listPluginsOption(
            QStringLiteral("list-plugins"),
            QStringLiteral("Print the name, version, description and views of each plug-in in the "
                           "plug-in "
                           "folder (or of --plugin), read without loading it."));
    const QCommandLineOption followOption(
            QStringLiteral("follow"),
            QStringLiteral("Follow the current track of the music player NAME "
                           "(org.mpris.MediaPlayer2.NAME) on the "
                           "session bus, or of the first one that plays; with --print, print each "
                           "change until "
                           "interrupted or --timeout."));
    const QCommandLineOption verboseOption(
            QStringLiteral("verbose"),
            QStringLiteral("Show the plug-in's debug lines (QT_LOGGING_RULES also decides)."));
    parser.addOptions({ viewOption, artistOption, albumOption, songOption, genreOption, printOption,
                        screenshotOption, clickOption, moreOption, timeoutOption, homeOption,
                        settingsOption, pluginOption, listPluginsOption, followOption,
                        verboseOption });
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The player to follow."),
                                 QStringLiteral("[NAME]"));
    // A mistake is a usage error (exit 2) said in the player's own words;
    // process() then only answers --help, --help-all and --version.
    if (!parser.parse(app.arguments())) {
        *error = parser.errorText();
        return false;
    }
    parser.process(app);

    options->verbose = parser.isSet(verboseOption);
    options->pluginNamed = !pluginArgument.isEmpty();
    // The plug-in loader looks for a relative name among Qt's library folders.
    options->pluginFile = options->pluginNamed ? QFileInfo(pluginArgument).absoluteFilePath()
                                               : parser.value(pluginOption);
    if (parser.isSet(listPluginsOption)) {
        options->run = Run::ListPlugins;
        return true;
    }

    options->viewName = parser.value(viewOption);
    options->viewId = PluginHost::viewIdForName(options->viewName);
    if (options->viewId.isEmpty()) {
        *error = QStringLiteral("unknown view %1").arg(options->viewName);
        return false;
    }
    bool ok = false;
    options->timeoutMs = parser.value(timeoutOption).toInt(&ok) * 1000;
    if (!ok || options->timeoutMs <= 0) {
        *error = QStringLiteral("bad time-out %1").arg(parser.value(timeoutOption));
        return false;
    }
    if (parser.isSet(clickOption)) {
        options->clickRow = parser.value(clickOption).toInt(&ok) - 1;
        if (!ok || options->clickRow < 0) {
            *error = QStringLiteral("bad row %1").arg(parser.value(clickOption));
            return false;
        }
    }
    options->timeoutGiven = parser.isSet(timeoutOption);
    options->follow = parser.isSet(followOption);
    const QStringList names = parser.positionalArguments();
    if (names.size() > (options->follow ? 1 : 0)) {
        *error = QStringLiteral("unexpected argument %1").arg(names.constLast());
        return false;
    }
    options->followName = names.value(0);
    if (parser.isSet(artistOption)) {
        if (parser.value(artistOption).trimmed().isEmpty()) {
            *error = QStringLiteral("--artist needs a name");
            return false;
        }
        options->track = { parser.value(artistOption), parser.value(albumOption),
                           parser.value(songOption), parser.value(genreOption) };
    }
    if (parser.isSet(homeOption) && !QFileInfo(parser.value(homeOption)).isDir()) {
        *error = QStringLiteral("no folder %1 for --home").arg(parser.value(homeOption));
        return false;
    }
    options->print = parser.isSet(printOption);
    options->screenshotFile = parser.value(screenshotOption);
    options->more = parser.isSet(moreOption);
    options->settingsFile = parser.value(settingsOption);
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
