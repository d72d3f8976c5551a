#include "panelrunner.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QTimer>

#include <memory>

#include "fakestoreclient.h"
#include "mprisfollower.h"
#include "pageopener.h"
#include "panelprobe.h"
#include "playerconsole.h"
#include "playeroptions.h"
#include "pluginhost.h"
#include "storecheck.h"
#include "svwidget.h"

namespace {

// Touches the panel and prints the link that reached the stand-in, or says
// where it went. The launcher may call the stand-in in this same process
// before the touch returns, so the link is listened for first.
bool touchAndAwaitLink(FakeStoreClient &storeClient, PageOpener *opener,
                       const std::function<bool()> &touch, int timeoutMs)
{
    QString link;
    bool received = false;
    QEventLoop loop;
    QObject::connect(&storeClient, &FakeStoreClient::linkOpened, &loop, [&](const QString &opened) {
        link = opened;
        received = true;
        loop.quit();
    });
    if (!touch())
        return false;
    if (!storeClient.isRegistered()) {
        PlayerConsole::out() << "Link sent to the store client on the session bus" << Qt::endl;
        return true;
    }
    if (!received) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!received) {
        PlayerConsole::err() << "vellora-player: no link reached the store client" << Qt::endl;
        return false;
    }
    PlayerConsole::out() << "Link: " << link << Qt::endl;
    if (opener && !opener->pageFor(link).isEmpty()) {
        const auto opened = std::make_shared<bool>(false);
        QObject::connect(opener, &PageOpener::pageOpened, &loop,
                         [opened, &loop](const QUrl &page, bool viaPortal) {
                             PlayerConsole::out()
                                     << "Page: " << page.toString()
                                     << (viaPortal ? " (portal)" : " (xdg-open)") << Qt::endl;
                             *opened = true;
                             loop.quit();
                         });
        opener->open(link);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (!*opened) {
            PlayerConsole::err() << "vellora-player: no program opened "
                                 << opener->pageFor(link).toString() << Qt::endl;
            return false;
        }
    }
    return true;
}

QString describe(const PlayerTrack &track)
{
    const QString text = track.text();
    return text.isEmpty() ? QStringLiteral("none") : text;
}

// The panel's rows (number, title, subtitle, side text) or its no-matches text.
void printPanel(const PanelProbe &probe)
{
    if (probe.state() == PanelProbe::State::NoMatches) {
        PlayerConsole::out() << PanelProbe::noMatchesText() << Qt::endl;
        return;
    }
    const QList<PanelProbe::Row> rows = probe.rows();
    for (int i = 0; i < rows.size(); ++i) {
        PlayerConsole::out() << i + 1 << ".\t" << rows.at(i).title << '\t' << rows.at(i).subtitle
                             << '\t' << rows.at(i).sideText << Qt::endl;
    }
}

} // namespace

// Each change goes to the panel as the host publishes it.
int PanelRunner::follow(const PlayerOptions &options, PluginHost &host, MprisFollower &follower)
{
    QGraphicsScene scene;
    SvWidget *panel = host.view(options.viewId);
    scene.addItem(panel);
    PanelProbe probe(panel);
    probe.fitToContents();
    QTimer settling;
    settling.setInterval(20);
    QObject::connect(&settling, &QTimer::timeout, &probe, [&] {
        if (probe.state() == PanelProbe::State::Pending)
            return;
        settling.stop();
        printPanel(probe);
        PlayerConsole::out() << Qt::endl;
    });
    QObject::connect(&follower, &MprisFollower::followedChanged, &follower, [&] {
        // A block whose panel never settled is closed before the next one.
        if (settling.isActive())
            PlayerConsole::out() << Qt::endl;
        settling.stop();
        host.publish(options.viewId, follower.track());
        PlayerConsole::out() << "Player: "
                             << (follower.player().isEmpty() ? QStringLiteral("none")
                                                             : follower.player())
                             << Qt::endl
                             << "Track: " << describe(follower.track()) << Qt::endl;
        // Without an artist the panel shows nothing to wait for.
        if (follower.track().artist.isEmpty())
            PlayerConsole::out() << Qt::endl;
        else
            settling.start();
    });
    if (options.timeoutGiven)
        QTimer::singleShot(options.timeoutMs, qApp, &QCoreApplication::quit);
    PlayerConsole::out() << "Following "
                         << (options.followName.isEmpty() ? QStringLiteral("the player that plays")
                                                          : options.followName)
                         << Qt::endl
                         << Qt::endl;
    const int status = QCoreApplication::exec();
    scene.removeItem(panel);
    return status;
}

int PanelRunner::runOnce(const PlayerOptions &options, PluginHost &host,
                         FakeStoreClient &storeClient, PageOpener *opener, const PlayerTrack &track)
{
    QGraphicsScene scene;
    SvWidget *panel = host.view(options.viewId);
    scene.addItem(panel);
    PanelProbe probe(panel);
    probe.fitToContents();
    host.publish(options.viewId, track);

    const bool withPictures = !options.screenshotFile.isEmpty();
    const bool settled = probe.waitForSettled(options.timeoutMs, withPictures);
    int status = PlayerConsole::Success;
    if (options.print) {
        PlayerConsole::out() << "View: " << options.viewName << Qt::endl;
        PlayerConsole::out() << "Track: " << describe(track) << Qt::endl;
        printPanel(probe);
        // The panel shows the same text when the store cannot be reached,
        // refuses the client or fails.
        if (probe.state() == PanelProbe::State::NoMatches) {
            const QString problem =
                    StoreCheck::problem(track.artist, options.viewId, StoreCheck::TimeoutMs);
            if (!problem.isEmpty()) {
                PlayerConsole::err() << "vellora-player: " << problem << Qt::endl;
                status = PlayerConsole::StoreUnreachable;
            }
        }
    }
    if (!settled) {
        PlayerConsole::err() << "vellora-player: the panel did not settle within "
                             << options.timeoutMs / 1000 << " s" << Qt::endl;
        status = PlayerConsole::Failure;
    }
    if (settled && withPictures) {
        QDir().mkpath(QFileInfo(options.screenshotFile).absolutePath());
        if (probe.render().save(options.screenshotFile, "PNG")) {
            PlayerConsole::out() << "Screenshot: "
                                 << QFileInfo(options.screenshotFile).absoluteFilePath()
                                 << Qt::endl;
        } else {
            PlayerConsole::err() << "vellora-player: cannot write " << options.screenshotFile
                                 << Qt::endl;
            status = PlayerConsole::Failure;
        }
    }
    if (settled && options.clickRow >= 0) {
        const auto touchRow = [&probe, row = options.clickRow] {
            if (probe.clickRow(row))
                return true;
            PlayerConsole::err() << "vellora-player: the panel has no row " << row + 1 << Qt::endl;
            return false;
        };
        if (!touchAndAwaitLink(storeClient, opener, touchRow, options.timeoutMs))
            status = PlayerConsole::Failure;
    }
    if (settled && options.more) {
        const auto touchStoreRow = [&probe] {
            if (probe.clickStoreRow())
                return true;
            PlayerConsole::err() << "vellora-player: the panel shows no store row" << Qt::endl;
            return false;
        };
        if (!touchAndAwaitLink(storeClient, opener, touchStoreRow, options.timeoutMs))
            status = PlayerConsole::Failure;
    }
    scene.removeItem(panel);
    return status;
}
