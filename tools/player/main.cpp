#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPluginLoader>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <optional>
#include <vector>

#include "accessibilitybus.h"
#include "bridgethread.h"
#include "companionsettings.h"
#include "demostore.h"
#include "displayprobe.h"
#include "fakestoreclient.h"
#include "mprisfollower.h"
#include "pageopener.h"
#include "panelrunner.h"
#include "playerconsole.h"
#include "playerenvironment.h"
#include "playeroptions.h"
#include "playerpaths.h"
#include "playerwindow.h"
#include "pluginhost.h"
#include "regularfile.h"
#include "storecheck.h"
#include "storeconstants.h"
#include "storeendpoint.h"
#include "svapplicationextensioninterface.h"
#include "svlocale.h"

namespace {

const int playlistLength = 6;

int terminationPipe[2] = { -1, -1 };

void onTermination(int)
{
    const char byte = 1;
    if (write(terminationPipe[1], &byte, 1) < 0) { }
}

// Readable once SIGTERM or SIGINT has come; null without a pipe, when the
// signals keep their default.
QSocketNotifier *terminationNotifier(QObject *parent)
{
    if (pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    for (const int signalNumber : { SIGTERM, SIGINT })
        std::signal(signalNumber, onTermination);
    return new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, parent);
}

// The plug-ins of the folder of --plugin, or that file alone when named,
// as their metadata describes them; nothing is loaded.
int listPlugins(const QString &pluginFile, bool named)
{
    QStringList files { pluginFile };
    if (!named) {
        const QDir folder = QFileInfo(pluginFile).absoluteDir();
        files.clear();
        const QStringList names =
                folder.entryList({ QStringLiteral("*.so") }, QDir::Files, QDir::Name);
        for (const QString &name : names)
            files.append(folder.filePath(name));
    }
    const QLatin1String iid(qobject_interface_iid<SvApplicationExtensionInterface *>());
    int listed = 0;
    for (const QString &file : std::as_const(files)) {
        const QJsonObject metaData = QPluginLoader(file).metaData();
        if (metaData.value(QLatin1String("IID")).toString() != iid)
            continue;
        const QJsonObject plugin = metaData.value(QLatin1String("MetaData")).toObject();
        QStringList views;
        const QJsonArray interfaces = plugin.value(QLatin1String("Interfaces")).toArray();
        for (const QJsonValue &id : interfaces)
            views.append(PluginHost::viewName(id.toString()));
        views.removeAll(QString());
        PlayerConsole::out() << file << Qt::endl
                             << "  Name: " << plugin.value(QLatin1String("Name")).toString()
                             << Qt::endl
                             << "  Version: " << plugin.value(QLatin1String("Version")).toString()
                             << Qt::endl
                             << "  Description: "
                             << plugin.value(QLatin1String("Description")).toString() << Qt::endl
                             << "  Views: " << views.join(QLatin1String(", ")) << Qt::endl;
        ++listed;
    }
    if (listed == 0) {
        PlayerConsole::err() << "vellora-player: no music player extension at " << pluginFile
                             << Qt::endl;
        return PlayerConsole::Failure;
    }
    return PlayerConsole::Success;
}

// The store: the one the settings file names, or the embedded one in a
// throw-away home.
int startStore(const PlayerOptions &options, const PlayerEnvironment &environment,
               std::unique_ptr<DemoStore> *store, std::unique_ptr<BridgeThread> *bridge)
{
    if (!options.settingsFile.isEmpty()) {
        if (!environment.isSandboxed()) {
            PlayerConsole::err() << "vellora-player: --settings and --home exclude each other"
                                 << Qt::endl;
            return PlayerConsole::UsageError;
        }
        // Read once and checked on what was opened: a pipe, a device or a
        // file under /proc named here would hang the run or pass for empty.
        QByteArray settings;
        QString reason;
        const RegularFile::Status status =
                RegularFile::read(options.settingsFile, StoreEndpoint::MaxSettingsFileSize,
                                  &settings, RegularFile::Links::Follow, &reason);
        if (status != RegularFile::Status::Read) {
            if (status == RegularFile::Status::NotRegular)
                reason = QStringLiteral("not a regular file");
            else if (status == RegularFile::Status::TooLarge)
                reason = QStringLiteral("larger than 1 MiB");
            PlayerConsole::err()
                    << "vellora-player: --settings needs a readable regular file of at most 1 MiB: "
                    << options.settingsFile << ": " << reason << Qt::endl;
            return PlayerConsole::UsageError;
        }
        const QString target = StoreEndpoint::settingsPath();
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile copy(target);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(settings) != settings.size()) {
            PlayerConsole::err() << "vellora-player: cannot write " << target << Qt::endl;
            return PlayerConsole::Failure;
        }
    } else if (environment.isSandboxed() && options.openData) {
        *bridge = std::make_unique<BridgeThread>(options.bridge);
        if (!(*bridge)->start()) {
            PlayerConsole::err()
                    << "vellora-player: the open-data bridge cannot listen on 127.0.0.1"
                    << Qt::endl;
            return PlayerConsole::Failure;
        }
        DemoStore::writeClientSettings((*bridge)->port(),
                                       QLatin1String(StoreConstants::DefaultToken),
                                       QLatin1String(StoreConstants::DefaultVersion));
        PlayerConsole::out() << "Open-data bridge: " << (*bridge)->baseUrl() << Qt::endl;
    } else if (environment.isSandboxed()) {
        *store = std::make_unique<DemoStore>();
        if (!(*store)->start()) {
            PlayerConsole::err() << "vellora-player: the store emulator cannot listen on 127.0.0.1"
                                 << Qt::endl;
            return PlayerConsole::Failure;
        }
        (*store)->writeClientSettings();
        PlayerConsole::out() << "Store emulator: " << (*store)->server().baseUrl() << Qt::endl;
    }
    return PlayerConsole::Success;
}

int loadPlugin(const PlayerOptions &options, PluginHost *host)
{
    if (!host->load(options.pluginFile)) {
        PlayerConsole::err() << "vellora-player: " << host->errorString() << Qt::endl;
        // A plug-in named on the command line is the caller's mistake.
        return options.pluginNamed ? PlayerConsole::UsageError : PlayerConsole::Failure;
    }
    host->initializeAll();
    if (!host->view(options.viewId)) {
        PlayerConsole::err() << "vellora-player: the plug-in does not serve the "
                             << options.viewName << " view" << Qt::endl;
        return PlayerConsole::Failure;
    }
    return PlayerConsole::Success;
}

int runWindow(QApplication &app, PluginHost &host, FakeStoreClient &storeClient,
              const QList<PlayerTrack> &playlist, const QString &viewId, MprisFollower *follower,
              bool demoWhileNoPlayer, std::optional<bool> openData)
{
    PlayerWindow playerWindow(
            &host,
            follower && !demoWhileNoPlayer ? QList<PlayerTrack> { PlayerTrack() } : playlist,
            viewId);
    if (openData) {
        playerWindow.offerOpenData(*openData);
        QObject::connect(&playerWindow, &PlayerWindow::openDataChosen, &playerWindow,
                         [&playerWindow](bool on) {
                             playerWindow.showOpenDataChosen(on, CompanionSettings::setOpenData(on));
                         });
    }
    playerWindow.setStoreCheck([](const QString &artist, const QString &viewId) {
        return StoreCheck::problem(artist, viewId, StoreCheck::TimeoutMs);
    });
    QObject::connect(&storeClient, &FakeStoreClient::linkOpened, &playerWindow,
                     [&playerWindow](const QString &link) {
                         PlayerConsole::out() << "Link: " << link << Qt::endl;
                         playerWindow.showLinkSent(link);
                     });
    if (follower)
        playerWindow.follow(follower);
    QObject::connect(&playerWindow, &PlayerWindow::shownOnScreen, &playerWindow, [&playerWindow] {
        PlayerConsole::out() << "Window: " << QGuiApplication::platformName() << ", "
                             << playerWindow.width() << " x " << playerWindow.height() << Qt::endl;
    });
    // The session's SIGTERM, or Ctrl-C, closes the window as its own button
    // would: the plug-in is unloaded and the run ends well.
    QSocketNotifier *termination = terminationNotifier(&app);
    if (termination)
        QObject::connect(termination, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    playerWindow.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    PlayerEnvironment environment(argc, argv);
    const QStringList arguments = environment.arguments();
    QCommandLineParser parser;
    PlayerOptions options;
    QString error;
    if (!PlayerOptions::parse(&parser, arguments, &options, &error)) {
        PlayerConsole::err() << "vellora-player: " << error << Qt::endl;
        return PlayerConsole::UsageError;
    }

    // Started as a launcher starts it, with no options: the window follows the
    // player that plays on the user's bus, and shows the demo playlist while
    // none is there.
    const bool launched = argc == 1 && !PlayerEnvironment::sessionBusAddress().isEmpty();
    options.follow = options.follow || launched;
    if (options.tellsAboutItself) {
        // The application object is made only for the text of --help-all;
        // what the window system says about the session is beside the point.
        QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
    } else {
        // A private bus would have no players on it to follow.
        if (options.follow && !PlayerEnvironment::findSessionBus()) {
            PlayerConsole::err() << "vellora-player: --follow needs your session bus, and "
                                    "DBUS_SESSION_BUS_ADDRESS names none"
                                 << Qt::endl;
            return PlayerConsole::UsageError;
        }
        if (const int status = environment.isolate(options.homeFolder, options.follow); status >= 0)
            return status;
    }

    // Without a display the window system would abort; only a window run
    // needs one, and it says so below when there is none.
    const bool platformGiven =
            options.platformGiven || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const bool window = options.run == PlayerOptions::Run::Window && !options.tellsAboutItself;
    const DisplayProbe::Kind display = DisplayProbe::reachable();
    const bool hasDisplay = display != DisplayProbe::Kind::None;
    if (!platformGiven && (!hasDisplay || !window))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Natively on a Wayland session, also where Xwayland would take the window.
    else if (!platformGiven && display == DisplayProbe::Kind::Wayland)
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    else if (!platformGiven)
        qputenv("QT_QPA_PLATFORM", "xcb");

    // The application object sees Qt's options alone: Qt would take the
    // player's --plugin for one of its own.
    QList<QByteArray> qtArguments { QByteArray(argv[0]) };
    for (const QString &argument : std::as_const(options.qtArguments))
        qtArguments.append(argument.toLocal8Bit());
    std::vector<char *> qtArgv;
    for (QByteArray &argument : qtArguments)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(qtArguments.size());
    QApplication app(qtArgc, qtArgv.data());
    QCoreApplication::setApplicationName(QStringLiteral("vellora-player"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELLORA_VERSION));
    // The Wayland app id, by which a shell finds the desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELLORA_APP_ID));
    if (options.tellsAboutItself)
        parser.process(arguments);
    if (!options.pluginNamed)
        options.pluginFile = PlayerPaths::defaultPluginFile();

    // The plug-in's debug lines are for those who ask for them.
    if (!options.verbose && !qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (options.run == PlayerOptions::Run::ListPlugins)
        return listPlugins(options.pluginFile, options.pluginNamed);
    if (window && !platformGiven && !hasDisplay) {
        PlayerConsole::err() << "vellora-player: no display for the window";
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("DISPLAY"))
            PlayerConsole::err() << " (none answers at WAYLAND_DISPLAY="
                                 << qEnvironmentVariable("WAYLAND_DISPLAY")
                                 << " or DISPLAY=" << qEnvironmentVariable("DISPLAY") << ")";
        PlayerConsole::err() << "; --print, --screenshot, --click and --more need none" << Qt::endl;
        return PlayerConsole::UsageError;
    }

    // Searched after SOLVANETOUCH_TRANSLATION_PATH and before the folders
    // that the plug-in adds.
    SvLocale::addTranslationPath(PlayerPaths::translationsFolder());

    // The window's open-data switch, where the run chooses its store: a
    // choice remembered from an earlier run, unless --open-data says on.
    const bool offersOpenData =
            window && environment.isSandboxed() && options.settingsFile.isEmpty();
    options.openData = options.openData || (offersOpenData && CompanionSettings::openData());
    std::unique_ptr<DemoStore> store;
    std::unique_ptr<BridgeThread> bridge;
    if (const int status = startStore(options, environment, &store, &bridge);
        status != PlayerConsole::Success)
        return status;

    std::unique_ptr<MprisFollower> follower;
    if (options.follow) {
        follower = std::make_unique<MprisFollower>(options.followName);
        if (!follower->start()) {
            PlayerConsole::err() << "vellora-player: the session bus does not answer" << Qt::endl;
            return PlayerConsole::Failure;
        }
    }
    QList<PlayerTrack> playlist;
    if (!options.track.artist.isEmpty())
        playlist.append(options.track);
    if (store && (window || playlist.isEmpty()))
        playlist.append(store->sampleTracks(window ? playlistLength : 1));
    if (playlist.isEmpty() && !follower) {
        PlayerConsole::err() << "vellora-player: give a track with --artist" << Qt::endl;
        return PlayerConsole::UsageError;
    }

    FakeStoreClient storeClient;
    if (storeClient.start())
        storeClient.registerService();
    // With open data a touched row opens the item's public page.
    std::unique_ptr<PageOpener> opener;
    if (options.openData) {
        opener = std::make_unique<PageOpener>(options.bridge);
        // A throw-away home's private bus has no portal: the page is opened
        // on the desktop of the caller's bus.
        const QString userBus = qEnvironmentVariable(AccessibilityBus::UserBusVariable);
        if (!userBus.isEmpty())
            opener->setDesktopBus(QDBusConnection::connectToBus(
                    userBus, QStringLiteral("vellora-player-desktop")));
    }

    PluginHost host;
    if (const int status = loadPlugin(options, &host); status != PlayerConsole::Success)
        return status;
    if (options.run == PlayerOptions::Run::FollowPrint)
        return PanelRunner::follow(options, host, *follower);
    if (window) {
        // Only a window has anything to show a screen reader.
        AccessibilityBus accessibilityBus;
        accessibilityBus.start();
        if (opener)
            QObject::connect(&storeClient, &FakeStoreClient::linkOpened, opener.get(),
                             &PageOpener::open);
        return runWindow(app, host, storeClient, playlist, options.viewId, follower.get(),
                         launched, offersOpenData ? std::optional<bool>(options.openData)
                                                  : std::nullopt);
    }
    return PanelRunner::runOnce(options, host, storeClient, opener.get(), playlist.constFirst());
}
