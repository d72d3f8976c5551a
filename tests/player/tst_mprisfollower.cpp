#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <signal.h>

#include "expectedrows.h"
#include "fakemprisplayer.h"
#include "busprobe.h"
#include "mprisfollower.h"
#include "storeserver.h"
#include "viewnames.h"

namespace {

const int busTimeout = 10000;

QStringList fields(const PlayerTrack &track)
{
    return { track.artist, track.album, track.song, track.genre };
}

} // namespace

// Following a music player's track over MPRIS 2, against players of the
// test's own on its private session bus.
class tst_MprisFollower : public QObject
{
    Q_OBJECT

private slots:
    void metadata_data();
    void metadata();
    void followsThePlayerThatPlays();
    void followsTheNamedPlayer();
    void titleBeforeTagsIsOneChange_data();
    void titleBeforeTagsIsOneChange();
    void launchedWindowFollows();
    void drivesTheFollowedPlayer_data();
    void drivesTheFollowedPlayer();
    void playerPrintsEachChange_data();
    void playerPrintsEachChange();
    void floodOfLargeSignals();
    void onePeerOwningManyNames();
    void stalledBusLeavesTheThreadFree();
    void daemonSocket_data();
    void daemonSocket();
};

void tst_MprisFollower::metadata_data()
{
    QTest::addColumn<QVariantMap>("metadata");
    QTest::addColumn<QStringList>("expected"); // artist, album, song, genre

    const QStringList none { QString(), QString(), QString(), QString() };
    QTest::newRow("whole track") << FakeMprisPlayer::track(
            QStringLiteral("Ann"), QStringLiteral("Al"), QStringLiteral("So"),
            QStringLiteral("rock"))
                                 << QStringList { QStringLiteral("Ann"), QStringLiteral("Al"),
                                                  QStringLiteral("So"), QStringLiteral("rock") };
    QTest::newRow("several artists, the first empty") << QVariantMap {
        { QStringLiteral("xesam:artist"),
          QStringList { QString(), QStringLiteral("Bo"), QStringLiteral("Cy") } },
        { QStringLiteral("xesam:genre"),
          QStringList { QStringLiteral("jazz"), QStringLiteral("pop") } }
    } << QStringList { QStringLiteral("Bo"), QString(), QString(), QStringLiteral("jazz") };
    QTest::newRow("artist as a plain string")
            << QVariantMap { { QStringLiteral("xesam:artist"), QStringLiteral(" Di ") } }
            << QStringList { QStringLiteral("Di"), QString(), QString(), QString() };
    QTest::newRow("no artist") << QVariantMap { { QStringLiteral("xesam:title"),
                                                  QStringLiteral("So") } }
                               << none;
    QTest::newRow("empty artists") << QVariantMap {
        { QStringLiteral("xesam:artist"), QStringList { QString(), QStringLiteral(" ") } }
    } << none;
    QTest::newRow("artist not a string")
            << QVariantMap { { QStringLiteral("xesam:artist"), 42 } } << none;
    // Longer than any real name (a player once sent 40 MB): not passed on.
    const QString overlong(1025, QLatin1Char('x'));
    QTest::newRow("overlong artist") << QVariantMap {
        { QStringLiteral("xesam:artist"), QString(40 * 1024 * 1024, QLatin1Char('x')) }
    } << none;
    QTest::newRow("overlong texts skipped") << QVariantMap {
        { QStringLiteral("xesam:artist"), QStringList { overlong, QStringLiteral("Fay") } },
        { QStringLiteral("xesam:album"), overlong }
    } << QStringList { QStringLiteral("Fay"), QString(), QString(), QString() };
    QStringList crowd(16, QString());
    crowd << QStringLiteral("Gus");
    QTest::newRow("only the first artists of a long list")
            << QVariantMap { { QStringLiteral("xesam:artist"), crowd } } << none;
    // The forms real players join several artists in.
    const auto artistOf = [](const QVariant &artist, const QString &albumArtist = QString()) {
        QVariantMap metadata { { QStringLiteral("xesam:artist"), artist } };
        if (!albumArtist.isEmpty())
            metadata.insert(QStringLiteral("xesam:albumArtist"), QStringList { albumArtist });
        return metadata;
    };
    const auto only = [](const QString &artist) {
        return QStringList { artist, QString(), QString(), QString() };
    };
    QTest::newRow("joined by semicolons, as mpv sends them")
            << artistOf(QStringLiteral("Daft Punk;Pharrell Williams")) << only(QStringLiteral("Daft Punk"));
    QTest::newRow("joined by a comma, the album's artist first, as audacious sends them")
            << artistOf(QStringLiteral("Daft Punk, Pharrell Williams"), QStringLiteral("Daft Punk"))
            << only(QStringLiteral("Daft Punk"));
    QTest::newRow("a list, as quodlibet sends it")
            << artistOf(QStringList { QStringLiteral("Daft Punk"), QStringLiteral("Pharrell Williams") })
            << only(QStringLiteral("Daft Punk"));
    QTest::newRow("featuring") << artistOf(QStringLiteral("Daft Punk feat. Pharrell Williams"))
                               << only(QStringLiteral("Daft Punk"));
    QTest::newRow("ft") << artistOf(QStringLiteral("Daft Punk Ft. Pharrell Williams"))
                        << only(QStringLiteral("Daft Punk"));
    QTest::newRow("a comma and an ampersand in one name")
            << artistOf(QStringLiteral("Earth, Wind & Fire")) << only(QStringLiteral("Earth, Wind & Fire"));
    QTest::newRow("an ampersand in a name that is the album's artist")
            << artistOf(QStringLiteral("Simon & Garfunkel"), QStringLiteral("Simon & Garfunkel"))
            << only(QStringLiteral("Simon & Garfunkel"));
    QTest::newRow("a comma, another album artist")
            << artistOf(QStringLiteral("Crosby, Stills & Nash"), QStringLiteral("Various Artists"))
            << only(QStringLiteral("Crosby, Stills & Nash"));
    QTest::newRow("a semicolon alone") << artistOf(QStringLiteral(";Bo")) << only(QStringLiteral("Bo"));
    QTest::newRow("album and title not strings") << QVariantMap {
        { QStringLiteral("xesam:artist"), QStringList { QStringLiteral("Ed") } },
        { QStringLiteral("xesam:album"), 3.5 },
        { QStringLiteral("xesam:title"), QVariantMap { { QStringLiteral("x"), 1 } } }
    } << QStringList { QStringLiteral("Ed"), QString(), QString(), QString() };
}

void tst_MprisFollower::metadata()
{
    QFETCH(QVariantMap, metadata);
    QFETCH(QStringList, expected);

    FakeMprisPlayer player(QStringLiteral("meta"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    // A known track first, so that the change to the row's is seen.
    player.play(FakeMprisPlayer::track(QStringLiteral("Known"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("Known"), busTimeout);
    player.setMetadata(metadata);
    QTRY_COMPARE_WITH_TIMEOUT(fields(follower.track()), expected, busTimeout);
    QCOMPARE(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.meta"));
}

void tst_MprisFollower::followsThePlayerThatPlays()
{
    FakeMprisPlayer one(QStringLiteral("one"));
    FakeMprisPlayer two(QStringLiteral("two"));
    QVERIFY(one.start());
    QVERIFY(two.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    QCOMPARE(follower.player(), QString());
    QStringList shown;
    connect(&follower, &MprisFollower::followedChanged, this, [&] {
        shown.append(follower.player().section(QLatin1Char('.'), -1) + QLatin1Char(' ')
                     + follower.track().artist);
    });

    one.play(FakeMprisPlayer::track(QStringLiteral("A"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.one"),
                              busTimeout);
    QCOMPARE(follower.track().artist, QStringLiteral("A"));
    // The window names the player as it names itself.
    QCOMPARE(follower.playerName(), QStringLiteral("Fake one"));

    // It announces that it plays before what: its track is read with it.
    two.playAnnouncingStatusOnly(
            FakeMprisPlayer::track(QStringLiteral("B"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.two"),
                              busTimeout);
    QCOMPARE(follower.track().artist, QStringLiteral("B"));

    // A track change of the other player does not take the panel back.
    one.setMetadata(FakeMprisPlayer::track(QStringLiteral("C"), QString(), QString(), QString()));
    two.setMetadata(FakeMprisPlayer::track(QStringLiteral("D"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("D"), busTimeout);
    QCOMPARE(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.two"));

    // When it quits, the one still playing is followed; when that one quits, none.
    two.quit();
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.one"),
                              busTimeout);
    QCOMPARE(follower.track().artist, QStringLiteral("C"));
    one.quit();
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QString(), busTimeout);
    QCOMPARE(fields(follower.track()), fields(PlayerTrack()));
    // No player was ever handed over without its track.
    QCOMPARE(shown,
             (QStringList { QStringLiteral("one A"), QStringLiteral("two B"),
                            QStringLiteral("two D"), QStringLiteral("one C"),
                            QStringLiteral(" ") }));
}

void tst_MprisFollower::followsTheNamedPlayer()
{
    FakeMprisPlayer other(QStringLiteral("other"));
    QVERIFY(other.start());
    MprisFollower follower(QStringLiteral("named"));
    QVERIFY(follower.start());
    other.play(FakeMprisPlayer::track(QStringLiteral("A"), QString(), QString(), QString()));

    // It comes to the bus after the follower started.
    FakeMprisPlayer named(QStringLiteral("named"));
    QVERIFY(named.start());
    named.play(FakeMprisPlayer::track(QStringLiteral("B"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("B"), busTimeout);
    QCOMPARE(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.named"));

    named.quit();
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QString(), busTimeout);
    QCOMPARE(follower.track().artist, QString());
}

void tst_MprisFollower::titleBeforeTagsIsOneChange_data()
{
    QTest::addColumn<bool>("tagsFollow");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("the tags after the title") << true
                                                     << QStringList { QStringLiteral("A"), QStringLiteral("B") };
    // A track that really has no artist is none, a moment later.
    QTest::newRow("the title alone") << false << QStringList { QStringLiteral("A"), QString() };
}

void tst_MprisFollower::titleBeforeTagsIsOneChange()
{
    QFETCH(bool, tagsFollow);
    QFETCH(QStringList, shown);
    FakeMprisPlayer player(QStringLiteral("mpv"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    QStringList changes;
    connect(&follower, &MprisFollower::followedChanged, this,
            [&] { changes.append(follower.track().artist); });
    player.play(FakeMprisPlayer::track(QStringLiteral("A"), QString(), QStringLiteral("One"), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, busTimeout);

    player.setMetadata({ { QStringLiteral("xesam:title"), QStringLiteral("Two") } });
    // Sent at once, so that a loaded machine cannot take them past the wait.
    if (tagsFollow)
        player.setMetadata(FakeMprisPlayer::track(QStringLiteral("B"), QString(),
                                                  QStringLiteral("Two"), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 2, busTimeout);
    QCOMPARE(changes, shown);
}

// Started as its desktop entry starts it, with no options, the window looks
// for players on the caller's bus rather than on a private one.
void tst_MprisFollower::launchedWindowFollows()
{
    FakeMprisPlayer player(QStringLiteral("launched"));
    QVERIFY(player.start());
    player.play(FakeMprisPlayer::track(QStringLiteral("A"), QString(), QString(), QString()));
    QProcess window;
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.start(QStringLiteral(VELLORA_PLAYER_FILE), QStringList());
    QVERIFY(window.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(player.metadataReads() > 0, busTimeout);
    window.terminate();
    QVERIFY(window.waitForFinished(busTimeout));
    QCOMPARE(window.exitCode(), 0);
}

void tst_MprisFollower::drivesTheFollowedPlayer_data()
{
    QTest::addColumn<QVariantMap>("allowed");
    QTest::addColumn<QString>("controls");
    const QVariantMap all { { QStringLiteral("CanGoPrevious"), true },
                            { QStringLiteral("CanPlay"), true },
                            { QStringLiteral("CanPause"), true },
                            { QStringLiteral("CanGoNext"), true } };
    QTest::newRow("all allowed") << all << QStringLiteral("previous play-pause next");
    QTest::newRow("none allowed") << QVariantMap {} << QString();
    QTest::newRow("pause only, while it plays")
            << QVariantMap { { QStringLiteral("CanPause"), true } } << QStringLiteral("play-pause");
    QTest::newRow("next, and previous as a string")
            << QVariantMap { { QStringLiteral("CanGoNext"), true },
                             { QStringLiteral("CanGoPrevious"), QStringLiteral("true") } }
            << QStringLiteral("next");
}

void tst_MprisFollower::drivesTheFollowedPlayer()
{
    QFETCH(QVariantMap, allowed);
    QFETCH(QString, controls);
    FakeMprisPlayer player(QStringLiteral("driven"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    player.play(FakeMprisPlayer::track(QStringLiteral("A"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QStringLiteral("org.mpris.MediaPlayer2.driven"),
                              busTimeout);
    player.allow(allowed);
    const auto shown = [&follower] {
        const MprisFollower::Controls now = follower.controls();
        QStringList names;
        if (now.previous)
            names.append(QStringLiteral("previous"));
        if (now.playPause)
            names.append(QStringLiteral("play-pause"));
        if (now.next)
            names.append(QStringLiteral("next"));
        return names.join(QLatin1Char(' '));
    };
    QSignalSpy controlsSpy(&follower, &MprisFollower::controlsChanged);
    if (!controls.isEmpty())
        QVERIFY(controlsSpy.wait(busTimeout));
    QCOMPARE(shown(), controls);

    follower.next();
    follower.playPause();
    follower.previous();
    QTRY_COMPARE_WITH_TIMEOUT(player.calls.size(), 3, busTimeout);
    QCOMPARE(player.calls, (QStringList { QStringLiteral("Next"), QStringLiteral("PlayPause"),
                                          QStringLiteral("Previous") }));
    // Gone from the bus, it leaves nothing to touch.
    player.quit();
    QTRY_COMPARE_WITH_TIMEOUT(follower.player(), QString(), busTimeout);
    QCOMPARE(shown(), QString());
}

void tst_MprisFollower::playerPrintsEachChange_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("viewName");
    QTest::newRow("player") << QStringLiteral("player") << ViewNames::Player;
    QTest::newRow("album") << QStringLiteral("album") << ViewNames::Album;
    QTest::newRow("artist") << QStringLiteral("artist") << ViewNames::Artist;
}

void tst_MprisFollower::playerPrintsEachChange()
{
    QFETCH(QString, view);
    QFETCH(QString, viewName);
    const StoreServer catalogOnly;
    const StoreArtist &artist = catalogOnly.catalog().artists().constFirst();
    QString rows;
    const QStringList titles = expectedTitles(catalogOnly.catalog(), viewName, artist);
    for (int i = 0; i < titles.size(); ++i)
        rows += QStringLiteral("%1.\t%2\t").arg(i + 1).arg(titles.at(i));

    FakeMprisPlayer player(QStringLiteral("demo"));
    QVERIFY(player.start());
    player.play(FakeMprisPlayer::track(artist.name, QStringLiteral("An Album"),
                                       QStringLiteral("A Song"), QStringLiteral("rock")));

    QProcess follow;
    follow.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    follow.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 { QStringLiteral("--follow"), QStringLiteral("demo"), QStringLiteral("--print"),
                   QStringLiteral("--view"), view });
    QString output;
    // Of each row, its number and title are compared.
    const auto printed = [&follow, &output](const QString &text) {
        output += QString::fromUtf8(follow.readAllStandardOutput());
        static const QRegularExpression rowLine(QStringLiteral("^(\\d+\\.\\t[^\\t\\n]*\\t).*\\n"),
                                                QRegularExpression::MultilineOption);
        return QString(output).replace(rowLine, QStringLiteral("\\1")).contains(text);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(printed(QStringLiteral("Player: org.mpris.MediaPlayer2.demo\n"
                                                     "Track: %1 / An Album / A Song / rock\n%2")
                                              .arg(artist.name, rows)),
                              qPrintable(output), busTimeout);
    player.setMetadata(FakeMprisPlayer::track(QStringLiteral("Nobody Known"), QString(),
                                              QStringLiteral("B Side"), QString()));
    QTRY_VERIFY2_WITH_TIMEOUT(printed(QStringLiteral("Player: org.mpris.MediaPlayer2.demo\n"
                                                     "Track: Nobody Known / B Side\n"
                                                     "No matches found\n\n")),
                              qPrintable(output), busTimeout);
    player.quit();
    QTRY_VERIFY2_WITH_TIMEOUT(printed(QStringLiteral("Player: none\nTrack: none\n\n")),
                              qPrintable(output), busTimeout);

    follow.terminate();
    QVERIFY(follow.waitForFinished(busTimeout));
    printed(QString());
    if (!qEnvironmentVariableIsEmpty("FOLLOW_OUTPUT")) {
        QFile file(qEnvironmentVariable("FOLLOW_OUTPUT") + QLatin1Char('-') + view
                   + QStringLiteral(".txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(output.toUtf8());
    }
}

void tst_MprisFollower::floodOfLargeSignals()
{
    FakeMprisPlayer player(QStringLiteral("flood"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    player.play(FakeMprisPlayer::track(QStringLiteral("Before"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("Before"), busTimeout);

    // 300 MB within a second left the follower's connection deaf for good.
    const QString large(1024 * 1024, QLatin1Char('x'));
    for (int i = 0; i < 300; ++i)
        player.setMetadata(FakeMprisPlayer::track(large, QString::number(i), QString(), QString()));
    player.setMetadata(
            FakeMprisPlayer::track(QStringLiteral("After"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("After"), busTimeout);
}

void tst_MprisFollower::onePeerOwningManyNames()
{
    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                         QStringLiteral("many-names"));
    QVERIFY(peer.isConnected());
    MprisFollower follower;
    QVERIFY(follower.start());
    for (int i = 0; i < 2000; ++i)
        QVERIFY(peer.registerService(QStringLiteral("org.mpris.MediaPlayer2.many%1").arg(i)));

    QVariantMap metadata;
    for (int key = 0; key < 1000; ++key)
        metadata.insert(QStringLiteral("xesam:comment%1").arg(key), QStringLiteral("filler"));
    QElapsedTimer clock;
    clock.start();
    for (const char *artist : { "First", "Second", "Third" }) {
        metadata.insert(QStringLiteral("xesam:artist"), QString::fromLatin1(artist));
        QDBusMessage changed =
                QDBusMessage::createSignal(QStringLiteral("/org/mpris/MediaPlayer2"),
                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                           QStringLiteral("PropertiesChanged"));
        changed << QStringLiteral("org.mpris.MediaPlayer2.Player")
                << QVariantMap { { QStringLiteral("PlaybackStatus"), QStringLiteral("Playing") },
                                 { QStringLiteral("Metadata"), metadata } }
                << QStringList();
        QVERIFY(peer.send(changed));
    }
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("Third"), busTimeout);
    // All three were read in one stretch of this thread: 3.4 s, once.
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QDBusConnection::disconnectFromBus(QStringLiteral("many-names"));
}

void tst_MprisFollower::stalledBusLeavesTheThreadFree()
{
    FakeMprisPlayer player(QStringLiteral("stalled"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    player.play(FakeMprisPlayer::track(QStringLiteral("Before"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("Before"), busTimeout);

    // The bus daemon stands still for longer than the follower's health check
    // waits; another thread lets it go, whatever this one does meanwhile.
    const QDBusReply<uint> daemon = QDBusConnection::sessionBus().interface()->servicePid(
            QStringLiteral("org.freedesktop.DBus"));
    QVERIFY(daemon.isValid());
    const pid_t pid = pid_t(daemon.value());
    const auto resume = qScopeGuard([pid] { kill(pid, SIGCONT); });
    QThread stall;
    QObject resumer;
    resumer.moveToThread(&stall);
    stall.start();
    const auto endStall = qScopeGuard([&stall] {
        stall.quit();
        stall.wait();
    });
    std::atomic_bool resumed = false;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this,
            [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    QCOMPARE(kill(pid, SIGSTOP), 0);
    QTimer::singleShot(7000, &resumer, [pid, &resumed] {
        kill(pid, SIGCONT);
        resumed = true;
    });
    sinceTick.start();
    tick.start(10);
    BusProbe probe;
    QSignalSpy answeredSpy(&probe, &BusProbe::answered);
    probe.ask(500);
    QVERIFY(answeredSpy.wait(busTimeout));
    QTRY_VERIFY_WITH_TIMEOUT(resumed, 3 * busTimeout);

    player.setMetadata(
            FakeMprisPlayer::track(QStringLiteral("After"), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(follower.track().artist, QStringLiteral("After"), busTimeout);
    QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("%1 ms").arg(longestGap)));
    probe.ask(500);
    QVERIFY(answeredSpy.wait(busTimeout));
    QCOMPARE(answeredSpy, (QList<QVariantList> { { false }, { true } }));
}

void tst_MprisFollower::daemonSocket_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("socket");
    QTest::newRow("path") << QByteArray("unix:path=/tmp/dbus-x,guid=01") << "/tmp/dbus-x";
    QTest::newRow("abstract") << QByteArray("unix:guid=02,abstract=/tmp/d") << "@/tmp/d";
    QTest::newRow("escaped") << QByteArray("unix:path=/run/a%20b%2cc") << "/run/a b,c";
    QTest::newRow("second of a list") << QByteArray("tcp:host=h,port=1;unix:path=/b") << "/b";
    QTest::newRow("network only") << QByteArray("tcp:host=127.0.0.1,port=5") << QString();
    QTest::newRow("a folder to listen in") << QByteArray("unix:tmpdir=/tmp") << QString();
}

void tst_MprisFollower::daemonSocket()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, socket);
    QCOMPARE(BusProbe::socketOf(address), socket);
}

QTEST_MAIN(tst_MprisFollower)
#include "tst_mprisfollower.moc"
