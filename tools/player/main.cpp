#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QSettings>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

#include "demostore.h"
#include "panelprobe.h"
#include "playerenvironment.h"
#include "playerwindow.h"
#include "pluginhost.h"
#include "storeclientstandin.h"
#include "svlocale.h"
#include "svwidget.h"

namespace {

enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

const int playlistLength = 6;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString viewIdForName(const QString &name)
{
    const QStringList ids = PluginHost::viewIds();
    for (const QString &id : ids) {
        if (id.contains(QLatin1Char('.') + name + QLatin1String("Interface/"), Qt::CaseInsensitive))
            return id;
    }
    return QString();
}

bool wantsWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        for (const char *batch : {"--print", "--screenshot", "--click", "--more", "--help", "-h"}) {
            if (argument == batch || argument.startsWith(QByteArray(batch) + '='))
                return false;
        }
    }
    return true;
}

// Touches the panel and prints the link that reached the stand-in, or says
// where it went. The launcher may call the stand-in in this same process
// before the touch returns, so the link is listened for first.
bool touchAndAwaitLink(StoreClientStandIn &storeClient, const std::function<bool()> &touch, int timeoutMs)
{
    QString link;
    bool received = false;
    QEventLoop loop;
    QObject::connect(&storeClient, &StoreClientStandIn::linkOpened, &loop, [&](const QString &opened) {
        link = opened;
        received = true;
        loop.quit();
    });
    if (!touch())
        return false;
    if (!storeClient.isRegistered()) {
        out() << "Link sent to the store client on the session bus" << Qt::endl;
        return true;
    }
    if (!received) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!received) {
        err() << "vellora-player: no link reached the store client" << Qt::endl;
        return false;
    }
    out() << "Link: " << link << Qt::endl;
    return true;
}

QString describe(const PlayerTrack &track)
{
    QStringList details{track.artist, track.album, track.song, track.genre};
    details.removeAll(QString());
    return details.join(QLatin1String(" / "));
}

} // namespace

int main(int argc, char *argv[])
{
    PlayerEnvironment environment(argc, argv);
    if (const int status = environment.isolate(); status >= 0)
        return status;

    const bool window = wantsWindow(argc, argv);
    if (!window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty(SvLocale::translationPathVariable))
        qputenv(SvLocale::translationPathVariable, VELLORA_TRANSLATIONS_DIR);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellora-player"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Demo music player for the libvellora plug-in. Without --home it runs in a throw-away home with\n"
        "its own session bus and the embedded store emulator; with neither --print, --screenshot,\n"
        "--click nor --more it opens a window with a small playlist."));
    parser.addHelpOption();
    const QCommandLineOption viewOption(QStringLiteral("view"), QStringLiteral("player, album or artist."),
                                        QStringLiteral("VIEW"), QStringLiteral("player"));
    const QCommandLineOption artistOption(QStringLiteral("artist"), QStringLiteral("Artist of the track."),
                                          QStringLiteral("NAME"));
    const QCommandLineOption albumOption(QStringLiteral("album"), QStringLiteral("Album of the track."),
                                         QStringLiteral("TITLE"));
    const QCommandLineOption songOption(QStringLiteral("song"), QStringLiteral("Title of the track."),
                                        QStringLiteral("TITLE"));
    const QCommandLineOption genreOption(QStringLiteral("genre"), QStringLiteral("Genre of the track."),
                                         QStringLiteral("GENRE"));
    const QCommandLineOption printOption(QStringLiteral("print"),
                                         QStringLiteral("Wait for the panel, print its rows and exit."));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Write the panel, pictures loaded, to a PNG."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption clickOption(QStringLiteral("click"),
                                         QStringLiteral("Touch row N (from 1) and print the store link."),
                                         QStringLiteral("N"));
    const QCommandLineOption moreOption(QStringLiteral("more"),
                                        QStringLiteral("Touch the store row and print the store link."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Seconds to wait for the panel (default 60)."),
                                           QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("Run in this home, with its own store settings, cache "
                                                       "and session bus."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Store client settings file naming the store to "
                                                           "use instead of the embedded one."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption pluginOption(QStringLiteral("plugin"), QStringLiteral("The plug-in library."),
                                          QStringLiteral("FILE"), QStringLiteral(VELLORA_PLUGIN_FILE));
    parser.addOptions({viewOption, artistOption, albumOption, songOption, genreOption, printOption,
                       screenshotOption, clickOption, moreOption, timeoutOption, homeOption, settingsOption,
                       pluginOption});
    parser.process(app);

    const QString viewId = viewIdForName(parser.value(viewOption));
    if (viewId.isEmpty()) {
        err() << "vellora-player: unknown view " << parser.value(viewOption) << Qt::endl;
        return UsageError;
    }
    bool ok = false;
    const int timeoutMs = parser.value(timeoutOption).toInt(&ok) * 1000;
    if (!ok || timeoutMs <= 0) {
        err() << "vellora-player: bad time-out " << parser.value(timeoutOption) << Qt::endl;
        return UsageError;
    }
    int clickRow = -1;
    if (parser.isSet(clickOption)) {
        clickRow = parser.value(clickOption).toInt(&ok) - 1;
        if (!ok || clickRow < 0) {
            err() << "vellora-player: bad row " << parser.value(clickOption) << Qt::endl;
            return UsageError;
        }
    }

    // The store: the one the settings file names, or the embedded one.
    std::unique_ptr<DemoStore> store;
    if (parser.isSet(settingsOption)) {
        if (!environment.isSandboxed()) {
            err() << "vellora-player: --settings and --home exclude each other" << Qt::endl;
            return UsageError;
        }
        const QString target = QSettings(QStringLiteral("Corvex"), QStringLiteral("Sondrel")).fileName();
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(parser.value(settingsOption), target)) {
            err() << "vellora-player: cannot read " << parser.value(settingsOption) << Qt::endl;
            return UsageError;
        }
    } else if (environment.isSandboxed()) {
        store = std::make_unique<DemoStore>();
        if (!store->start()) {
            err() << "vellora-player: the store emulator cannot listen on 127.0.0.1" << Qt::endl;
            return Failure;
        }
        store->writeClientSettings();
        out() << "Store emulator: " << store->server().baseUrl() << Qt::endl;
    }

    QList<PlayerTrack> playlist;
    if (parser.isSet(artistOption)) {
        playlist.append({parser.value(artistOption), parser.value(albumOption), parser.value(songOption),
                         parser.value(genreOption)});
    }
    if (store && (window || playlist.isEmpty()))
        playlist.append(store->sampleTracks(window ? playlistLength : 1));
    if (playlist.isEmpty()) {
        err() << "vellora-player: give a track with --artist" << Qt::endl;
        return UsageError;
    }

    StoreClientStandIn storeClient;
    storeClient.registerOnSessionBus();

    PluginHost host;
    if (!host.load(parser.value(pluginOption))) {
        err() << "vellora-player: " << host.errorString() << Qt::endl;
        return Failure;
    }
    host.initializeAll();
    if (!host.view(viewId)) {
        err() << "vellora-player: the plug-in does not serve the " << parser.value(viewOption) << " view"
              << Qt::endl;
        return Failure;
    }

    if (window) {
        QObject::connect(&storeClient, &StoreClientStandIn::linkOpened, [](const QString &link) {
            out() << "Link: " << link << Qt::endl;
        });
        PlayerWindow playerWindow(&host, playlist, viewId);
        playerWindow.show();
        return app.exec();
    }

    const PlayerTrack &track = playlist.constFirst();
    QGraphicsScene scene;
    SvWidget *panel = host.view(viewId);
    scene.addItem(panel);
    PanelProbe probe(panel);
    probe.fitToContents();
    host.publish(viewId, track);

    const bool withPictures = parser.isSet(screenshotOption);
    const bool settled = probe.waitForSettled(timeoutMs, withPictures);
    int status = Success;
    if (parser.isSet(printOption)) {
        out() << "View: " << parser.value(viewOption) << Qt::endl;
        out() << "Track: " << describe(track) << Qt::endl;
        if (probe.state() == PanelProbe::State::NoMatches) {
            out() << PanelProbe::noMatchesText() << Qt::endl;
        } else {
            const QList<PanelProbe::Row> rows = probe.rows();
            for (int i = 0; i < rows.size(); ++i) {
                out() << i + 1 << ".\t" << rows.at(i).title << '\t' << rows.at(i).subtitle << '\t'
                      << rows.at(i).sideText << Qt::endl;
            }
        }
    }
    if (!settled) {
        err() << "vellora-player: the panel did not settle within " << timeoutMs / 1000 << " s" << Qt::endl;
        status = Failure;
    }
    if (settled && withPictures) {
        const QString fileName = parser.value(screenshotOption);
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        if (probe.render().save(fileName, "PNG")) {
            out() << "Screenshot: " << QFileInfo(fileName).absoluteFilePath() << Qt::endl;
        } else {
            err() << "vellora-player: cannot write " << fileName << Qt::endl;
            status = Failure;
        }
    }
    if (settled && clickRow >= 0) {
        const auto touchRow = [&probe, clickRow] {
            if (probe.clickRow(clickRow))
                return true;
            err() << "vellora-player: the panel has no row " << clickRow + 1 << Qt::endl;
            return false;
        };
        if (!touchAndAwaitLink(storeClient, touchRow, timeoutMs))
            status = Failure;
    }
    if (settled && parser.isSet(moreOption)) {
        const auto touchStoreRow = [&probe] {
            if (probe.clickStoreRow())
                return true;
            err() << "vellora-player: the panel shows no store row" << Qt::endl;
            return false;
        };
        if (!touchAndAwaitLink(storeClient, touchStoreRow, timeoutMs))
            status = Failure;
    }
    scene.removeItem(panel);
    return status;
}
