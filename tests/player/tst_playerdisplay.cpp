// The companion's window on the display a session names: natively on a
// Wayland compositor (headless, at a phone's size) or on an X server.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QProcessEnvironment sessionWithout(const QStringList &names)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : names)
        environment.remove(name);
    return environment;
}

} // namespace

class tst_PlayerDisplay : public QObject
{
    Q_OBJECT

private slots:
    void startsNatively_data();
    void startsNatively();
    void unreachableDisplayIsSaid_data();
    void unreachableDisplayIsSaid();
};

void tst_PlayerDisplay::startsNatively_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<QByteArray>("size");
    // A phone shell gives the window the whole screen, in logical pixels
    // whatever the scale; an X server without a window manager gives it
    // what it asks for.
    QTest::newRow("wayland, scale 1")
            << QStringLiteral("weston") << 1 << QByteArray("wayland") << QByteArray("360 x 720");
    QTest::newRow("wayland, scale 2")
            << QStringLiteral("weston") << 2 << QByteArray("wayland") << QByteArray("360 x 720");
    QTest::newRow("x11") << QStringLiteral("Xvfb") << 1 << QByteArray("xcb") << QByteArray("502 x 720");
}

void tst_PlayerDisplay::startsNatively()
{
    QFETCH(QString, server);
    QFETCH(int, scale);
    QFETCH(QByteArray, platform);
    QFETCH(QByteArray, size);
    const QString program = QStandardPaths::findExecutable(server);
    QVERIFY2(!program.isEmpty(), qPrintable(server + QLatin1String(" is not installed; scripts/setup installs it")));
    QTemporaryDir logs;
    QVERIFY(logs.isValid());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QVERIFY(!runtime.isEmpty());

    // As a session names its display: a Wayland socket relative to the
    // runtime folder, which the player's throw-away home replaces.
    QProcessEnvironment environment = sessionWithout(
            { QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM") });
    QString socket;
    QStringList arguments;
    if (server == QLatin1String("weston")) {
        const QString name = QStringLiteral("wayland-vellora-%1").arg(scale);
        socket = runtime + QLatin1Char('/') + name;
        arguments = QStringList { QStringLiteral("--backend=headless-backend.so"),
                                  QStringLiteral("--socket=") + name,
                                  QStringLiteral("--shell=kiosk-shell.so"),
                                  QStringLiteral("--width=360"), QStringLiteral("--height=720"),
                                  QStringLiteral("--scale=%1").arg(scale), QStringLiteral("--no-config"),
                                  QStringLiteral("--idle-time=0"),
                                  QStringLiteral("--log=") + logs.filePath(QStringLiteral("weston.log")) };
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), name);
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    } else {
        int display = 80;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)) && display < 99)
            ++display;
        socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
        arguments = QStringList { QStringLiteral(":%1").arg(display), QStringLiteral("-screen"),
                                  QStringLiteral("0"), QStringLiteral("360x720x24"),
                                  QStringLiteral("-nolisten"), QStringLiteral("tcp") };
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    }
    QProcess displayServer;
    displayServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    displayServer.setProcessEnvironment(sessionWithout({ QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY") }));
    displayServer.start(program, arguments);
    QVERIFY(displayServer.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 30000);

    QProcess player;
    player.setProcessEnvironment(environment);
    QSignalSpy finishedSpy(&player, &QProcess::finished);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), QStringList());
    QVERIFY(player.waitForStarted());
    // A shell may show the window at its own size first and fit it to the
    // screen after; the player says each size the window system gives it.
    const QByteArray shown = "Window: " + platform + ", " + size;
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += player.readAllStandardOutput()).contains(shown)
                                     || player.state() == QProcess::NotRunning,
                             60000);
    QVERIFY2(output.contains(shown), output.constData());

    // Closed by the session, it ends as if its window were closed.
    ::kill(pid_t(player.processId()), SIGTERM);
    QVERIFY(finishedSpy.wait(30000));
    // What the player said on its way out tells why it failed.
    const QByteArray said = player.readAllStandardError();
    QVERIFY2(player.exitStatus() == QProcess::NormalExit && player.exitCode() == 0,
             qPrintable(QStringLiteral("exit %1: %2")
                                .arg(player.exitCode())
                                .arg(QString::fromLocal8Bit(said))));
    displayServer.terminate();
    QVERIFY(displayServer.waitForFinished(30000));
}

void tst_PlayerDisplay::unreachableDisplayIsSaid_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::newRow("no compositor at the socket")
            << QStringLiteral("WAYLAND_DISPLAY") << QStringLiteral("wayland-nobody");
    QTest::newRow("no X server on the display") << QStringLiteral("DISPLAY") << QStringLiteral(":97");
}

void tst_PlayerDisplay::unreachableDisplayIsSaid()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QProcessEnvironment environment =
            sessionWithout({ QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                             QStringLiteral("QT_QPA_PLATFORM") });
    environment.insert(variable, value);
    QProcess player;
    player.setProcessEnvironment(environment);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), QStringList());
    QVERIFY(player.waitForFinished(60000));
    const QByteArray errors = player.readAllStandardError();
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), 2);
    QVERIFY2(errors.contains("vellora-player: no display for the window (none answers at"),
             errors.constData());
}

QTEST_GUILESS_MAIN(tst_PlayerDisplay)
#include "tst_playerdisplay.moc"
