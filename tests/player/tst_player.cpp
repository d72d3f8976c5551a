#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMultiHash>

#include <csignal>

#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include "accessibilitybus.h"
#include "expectedrows.h"
#include "fakestoreclient.h"
#include "storehttprequest.h"
#include "storeserver.h"
#include "testfiles.h"
#include "viewnames.h"

namespace {

// The processes below pid, children first, read from /proc.
QList<qint64> descendantsOf(qint64 pid)
{
    QMultiHash<qint64, qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children.insert(fields.value(1).toLongLong(), entry.toLongLong());
    }
    QList<qint64> found;
    QList<qint64> parents { pid };
    while (!parents.isEmpty()) {
        const QList<qint64> next = children.values(parents.takeFirst());
        found += next;
        parents += next;
    }
    return found;
}

bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

// The environment of a console without a display or a session bus.
QProcessEnvironment withoutDisplayOrBus()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS" })
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer closed;
    return closed.listen(QHostAddress::LocalHost) ? closed.serverPort() : 0;
}

// Store client settings naming a store on 127.0.0.1 at port.
bool writeStoreSettings(const QString &fileName, quint16 port)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly)
            && file.write("[ServiceProviders]\nCorvexMusic\\PAPI\\host=127.0.0.1:"
                          + QByteArray::number(port) + "\n")
            > 0;
}

} // namespace

// vellora-player as a person runs it: its own home, bus and store.
class tst_Player : public QObject
{
    Q_OBJECT

private slots:
    void printsRowsAndLink_data();
    void printsRowsAndLink();
    void unknownArtistPrintsNoMatches_data();
    void unknownArtistPrintsNoMatches();
    void usageErrors_data();
    void usageErrors();
    void tellsAboutItselfWithoutDisplay_data();
    void tellsAboutItselfWithoutDisplay();
    void storeProblemIsNotNoMatches_data();
    void storeProblemIsNotNoMatches();
    void listsPluginMetadata();
    void debugLinesOnlyWhenAsked_data();
    void debugLinesOnlyWhenAsked();
    void signalEndsTheWholeRun_data();
    void signalEndsTheWholeRun();
    void endedHomeRunLeavesNoRuntimeFolder();
    void runsInTheTerminalsForeground();
    void accessibilityBusStandIn_data();
    void accessibilityBusStandIn();
    void silentLauncherIsNotWaitedFor();
    void rememberedOpenDataChoosesTheStore_data();
    void rememberedOpenDataChoosesTheStore();
    void manualPageNamesEveryOption_data();
    void manualPageNamesEveryOption();

private:
    // The player's output; its error output too when errors is given, else passed on.
    QString run(const QStringList &arguments, int *exitCode, bool ignoresChildSignal = false,
                QString *errors = nullptr);
};

QString tst_Player::run(const QStringList &arguments, int *exitCode, bool ignoresChildSignal,
                        QString *errors)
{
    QProcess player;
    if (!errors)
        player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Some CI runners and service managers start programs with SIGCHLD
    // ignored, which the player passes on to its own children.
    if (ignoresChildSignal)
        player.setChildProcessModifier([] { std::signal(SIGCHLD, SIG_IGN); });
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), arguments);
    if (!player.waitForFinished(120000)) {
        player.kill();
        player.waitForFinished();
    }
    *exitCode = player.exitStatus() == QProcess::NormalExit ? player.exitCode() : -1;
    if (errors)
        *errors = QString::fromUtf8(player.readAllStandardError());
    return QString::fromUtf8(player.readAllStandardOutput());
}

void tst_Player::printsRowsAndLink_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("viewName");
    QTest::newRow("player") << QStringLiteral("player") << ViewNames::Player;
    QTest::newRow("album") << QStringLiteral("album") << ViewNames::Album;
    QTest::newRow("artist") << QStringLiteral("artist") << ViewNames::Artist;
}

void tst_Player::printsRowsAndLink()
{
    QFETCH(QString, view);
    QFETCH(QString, viewName);
    StoreServer catalogOnly;
    const StoreArtist &artist = catalogOnly.catalog().artists().constFirst();
    const QStringList titles = expectedTitles(catalogOnly.catalog(), viewName, artist);

    QTemporaryDir dir;
    const QString screenshot = dir.filePath(QStringLiteral("panel.png"));
    int exitCode = 0;
    const QString output =
            run({ QStringLiteral("--view"), view, QStringLiteral("--artist"), artist.name,
                  QStringLiteral("--print"), QStringLiteral("--screenshot"), screenshot,
                  QStringLiteral("--click"), QStringLiteral("1"), QStringLiteral("--timeout"),
                  QStringLiteral("60") },
                &exitCode);
    QCOMPARE(exitCode, 0);

    static const QRegularExpression rowLine(
            QStringLiteral("^(\\d)\\.\t([^\t]*)\t([^\t]*)\t([^\t]*)$"),
            QRegularExpression::MultilineOption);
    QStringList printed;
    for (auto match = rowLine.globalMatch(output); match.hasNext();)
        printed.append(match.next().captured(2));
    QCOMPARE(printed, titles);

    static const QRegularExpression linkLine(QStringLiteral("^Link: (#.*)$"),
                                             QRegularExpression::MultilineOption);
    const QString link = linkLine.match(output).captured(1);
    QVERIFY2(link.contains(QLatin1Char('/') + titles.constFirst() + QLatin1Char('/')),
             qPrintable(output));
    const QImage image(screenshot);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), 480);
}

void tst_Player::unknownArtistPrintsNoMatches_data()
{
    QTest::addColumn<bool>("ignoresChildSignal");
    QTest::newRow("plain") << false;
    QTest::newRow("started with SIGCHLD ignored") << true;
}

void tst_Player::unknownArtistPrintsNoMatches()
{
    QFETCH(bool, ignoresChildSignal);
    int exitCode = 0;
    const QString output = run({ QStringLiteral("--artist"), QStringLiteral("Nobody At All Zz"),
                                 QStringLiteral("--print") },
                               &exitCode, ignoresChildSignal);
    QCOMPARE(exitCode, 0);
    QVERIFY2(output.trimmed().endsWith(QLatin1String("No matches found")), qPrintable(output));
}

void tst_Player::tellsAboutItselfWithoutDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("printed");
    QTest::newRow("version") << "--version"
                             << "vellora-player " VELLORA_VERSION "\n";
    QTest::newRow("help") << "--help"
                          << "Usage: ";
    QTest::newRow("help-all") << "--help-all"
                              << "--platform";
}

void tst_Player::tellsAboutItselfWithoutDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, printed);
    // Once these started the window's platform plug-in, which aborts without a display.
    QProcess player;
    player.setProcessEnvironment(withoutDisplayOrBus());
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), { option });
    QVERIFY(player.waitForFinished(30000));
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), 0);
    const QString output = QString::fromUtf8(player.readAllStandardOutput());
    QVERIFY2(output.contains(printed), qPrintable(output));
    QCOMPARE(player.readAllStandardError(), QByteArray());
}

void tst_Player::storeProblemIsNotNoMatches_data()
{
    QTest::addColumn<QString>("store"); // closed, refusing or serving
    QTest::addColumn<QList<StoreFault>>("faults");
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("problem");
    const auto status = [](const QString &path, int code) {
        StoreFault fault(StoreFault::Kind::Status, path);
        fault.times = 0;
        fault.status = code;
        return QList<StoreFault> { fault };
    };
    QTest::newRow("unreachable") << "closed" << QList<StoreFault>() << "player"
                                 << "store unreachable: Connection refused";
    // Both once printed the panel's text alone and ended as for an unknown artist.
    QTest::newRow("refuses the token") << "refusing" << QList<StoreFault>() << "player"
                                       << "store refused: Host requires authentication";
    QTest::newRow("fails") << "serving" << status(QString(), 500) << "player"
                           << "store failed: 500 Internal Server Error";
    // The search answered, the similar items failed: once "No matches found" and exit 0.
    for (const char *view : { "player", "album", "artist" }) {
        QTest::addRow("similar items fail, %s view", view)
                << "serving" << status(QStringLiteral("/similar/"), 500) << view
                << "store failed: 500 Internal Server Error";
    }
    StoreFault stall(StoreFault::Kind::Stall, QStringLiteral("/similar/"));
    stall.times = 0;
    QTest::newRow("similar items never answered")
            << "serving" << QList<StoreFault> { stall } << "album" << "store timed out";
    // Read whole, an endless answer took the player to 1 GB and an abort.
    StoreFault endless(StoreFault::Kind::EndlessChunked, QStringLiteral("/similar/"));
    endless.times = 0;
    QTest::newRow("endless answer") << "serving" << QList<StoreFault> { endless }
                                           << "player"
                                           << "store failed: an answer larger than 8 MiB";
}

void tst_Player::storeProblemIsNotNoMatches()
{
    QFETCH(QString, store);
    QFETCH(QList<StoreFault>, faults);
    QFETCH(QString, view);
    QFETCH(QString, problem);
    StoreServer server;
    QVERIFY(server.start());
    quint16 port = server.port();
    if (store == QLatin1String("closed"))
        port = closedPort();
    else if (store == QLatin1String("refusing"))
        server.setToken(QStringLiteral("another-client"));
    for (const StoreFault &fault : std::as_const(faults))
        server.addFault(fault);
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Sondrel.conf"));
    QVERIFY(writeStoreSettings(settings, port));

    // The store answers from this thread while the player runs.
    QProcess player;
    player.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 { QStringLiteral("--view"), view, QStringLiteral("--artist"),
                   server.catalog().artists().constFirst().name, QStringLiteral("--print"),
                   QStringLiteral("--settings"), settings });
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), QProcess::NotRunning, 90000);
    const QString output = QString::fromUtf8(player.readAllStandardOutput());
    const QString errors = QString::fromUtf8(player.readAllStandardError());
    // The panel keeps its text; the script learns why.
    QVERIFY2(output.trimmed().endsWith(QLatin1String("No matches found")), qPrintable(output));
    QVERIFY2(errors.contains(problem), qPrintable(errors));
    QCOMPARE(player.exitCode(), 3);
#ifndef VELLORA_SANITIZED
    // The largest process the test has waited for, the player among them.
    rusage usage {};
    QCOMPARE(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    QVERIFY2(usage.ru_maxrss < 150 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
#endif
}

void tst_Player::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString table = QStringLiteral(TEST_DATA "/usage-errors.tsv");
    const QString pipe = QDir::homePath() + QStringLiteral("/settings-pipe");
    QVERIFY(QFile::exists(pipe) || ::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    for (const TestFiles::TableRow &row : TestFiles::table(table)) {
        QStringList arguments = row["arguments"].split(QStringLiteral(" ; "), Qt::SkipEmptyParts);
        for (QString &argument : arguments)
            argument = argument == QLatin1String("\"\"")
                    ? QString()
                    : argument.replace(QLatin1String("@TABLE@"), table)
                              .replace(QLatin1String("@PIPE@"), pipe);
        QTest::newRow(qPrintable(row["tag"])) << arguments << row["message"];
    }
}

void tst_Player::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess player;
    player.setProcessEnvironment(withoutDisplayOrBus());
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), arguments);
    QVERIFY(player.waitForFinished(60000));
    const QString errors = QString::fromUtf8(player.readAllStandardError());
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), 2);
    QVERIFY2(errors.contains(message), qPrintable(errors));
}

void tst_Player::listsPluginMetadata()
{
    int exitCode = 0;
    const QString output = run({ QStringLiteral("--list-plugins") }, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(output.contains(QLatin1String("/libvellora.so\n  Name: vellora\n  Version: ")),
             qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("\n  Views: player, album, artist\n")),
             qPrintable(output));
}

void tst_Player::debugLinesOnlyWhenAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("loggingRules");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("quiet") << QStringList() << QByteArray() << false << 0;
    QTest::newRow("verbose") << QStringList { QStringLiteral("--verbose") } << QByteArray() << true
                             << 0;
    QTest::newRow("logging rules")
            << QStringList() << QByteArray("default.debug=true") << true << 0;
    // The store its own home names does not answer: exit 3.
    QTest::newRow("own home") << QStringList { QStringLiteral("--home") } << QByteArray() << false
                              << 3;
}

void tst_Player::debugLinesOnlyWhenAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, loggingRules);
    QFETCH(bool, shown);
    QFETCH(int, exitCode);
    QTemporaryDir home;
    if (arguments.endsWith(QStringLiteral("--home"))) {
        arguments.append(home.path());
        QVERIFY(writeStoreSettings(home.filePath(QStringLiteral(".config/Corvex/Sondrel.conf")),
                                   closedPort()));
    }
    QProcess player;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    // Qt warned of the missing runtime folder in a home of one's own.
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!loggingRules.isEmpty())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromLatin1(loggingRules));
    player.setProcessEnvironment(environment);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 arguments << QStringLiteral("--artist") << QStringLiteral("Nobody At All Zz")
                           << QStringLiteral("--print"));
    QVERIFY(player.waitForFinished(120000));
    QCOMPARE(player.exitCode(), exitCode);
    const QString errors = QString::fromUtf8(player.readAllStandardError());
    QCOMPARE(errors.contains(QLatin1String("VelloraApplicationExtension::initialize")), shown);
    QVERIFY2(!errors.contains(QLatin1String("XDG_RUNTIME_DIR")), qPrintable(errors));
}

void tst_Player::signalEndsTheWholeRun_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    // Both once left the player, its bus and the throw-away home behind.
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGQUIT") << int(SIGQUIT);
}

void tst_Player::signalEndsTheWholeRun()
{
    QFETCH(int, signalNumber);
    QTemporaryDir temporary;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    // The window, shown offscreen, runs under a private bus until it is
    // closed (started with no options at all, it would follow players on
    // the caller's bus).
    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 { QStringLiteral("--view"), QStringLiteral("player") });
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += player.readAllStandardOutput()).contains("Store emulator"),
                             30000);
    const QList<qint64> run = descendantsOf(player.processId());
    // The guard, the bus and the player on it.
    QVERIFY2(run.size() >= 3, qPrintable(QString::number(run.size())));
    const QStringList home { QStringLiteral("vellora-player.*") };
    QVERIFY(!QDir(temporary.path()).entryList(home, QDir::Dirs).isEmpty());

    ::kill(pid_t(player.processId()), signalNumber);
    QVERIFY(player.waitForFinished(10000));
    for (const qint64 pid : run)
        QTRY_VERIFY2_WITH_TIMEOUT(!isRunning(pid), qPrintable(QString::number(pid)), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(temporary.path()).entryList(home, QDir::Dirs), QStringList(),
                              10000);
}

void tst_Player::endedHomeRunLeavesNoRuntimeFolder()
{
    // A named home without a runtime folder gets one, which a termination once left.
    QTemporaryDir temporary, home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A window, which stays until it is ended.
    player.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 { QStringLiteral("--home"), home.path(), QStringLiteral("--artist"),
                   QStringLiteral("Kino") });
    const QStringList runtime { QStringLiteral("vellora-player-runtime.*") };
    QTRY_VERIFY(!QDir(temporary.path()).entryList(runtime, QDir::Dirs).isEmpty());
    // The process that made it stays to remove it, with the player as its child.
    QTRY_VERIFY_WITH_TIMEOUT(!descendantsOf(player.processId()).isEmpty(), 10000);

    ::kill(pid_t(player.processId()), SIGTERM);
    QVERIFY(player.waitForFinished(10000));
    QCOMPARE(QDir(temporary.path()).entryList(runtime, QDir::Dirs), QStringList());
}

void tst_Player::runsInTheTerminalsForeground()
{
    // Under "stty tostop" a child outside the terminal's foreground group
    // was stopped by its first write, and its parent waited for it for ever.
    const QByteArray artist = StoreServer().catalog().artists().constFirst().name.toUtf8();
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    QVERIFY(pid >= 0);
    if (pid == 0) {
        termios modes {};
        ::tcgetattr(STDIN_FILENO, &modes);
        modes.c_lflag |= TOSTOP;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &modes);
        ::execl(VELLORA_PLAYER_FILE, "vellora-player", "--artist", artist.constData(), "--print",
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    QByteArray output;
    int status = 0;
    bool ended = false;
    QElapsedTimer clock;
    clock.start();
    while (!ended && clock.elapsed() < 60000) {
        pollfd readable { terminal, POLLIN, 0 };
        char buffer[4096];
        if (::poll(&readable, 1, 100) > 0) {
            const ssize_t got = ::read(terminal, buffer, sizeof buffer);
            if (got > 0)
                output.append(buffer, got);
        }
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(terminal);
    QVERIFY2(ended, output.constData());
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, output.constData());
    QVERIFY2(output.contains("1.\t"), output.constData());
}

void tst_Player::accessibilityBusStandIn_data()
{
    QTest::addColumn<QByteArray>("givenAddress");
    QTest::addColumn<bool>("launcherRunning");
    QTest::addColumn<bool>("serves");
    QTest::newRow("address-given")
            << QByteArray("unix:path=/run/user/1/at-spi/bus") << false << true;
    QTest::newRow("nothing-to-hand-on") << QByteArray() << false << false;
    // A session bus with a launcher of its own needs no stand-in.
    QTest::newRow("launcher-running") << QByteArray("unix:path=/elsewhere") << true << false;
}

void tst_Player::accessibilityBusStandIn()
{
    QFETCH(QByteArray, givenAddress);
    QFETCH(bool, launcherRunning);
    QFETCH(bool, serves);
    const QString service = QStringLiteral("org.a11y.Bus");
    QDBusConnection asker = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                          QStringLiteral("a11y-asker"));
    const auto cleanUp = qScopeGuard([&] {
        qunsetenv(AccessibilityBus::GivenAddressVariable);
        asker.unregisterService(service);
        QDBusConnection::disconnectFromBus(QStringLiteral("a11y-asker"));
    });
    QVERIFY(asker.isConnected());
    if (launcherRunning)
        QVERIFY(asker.registerService(service));
    qputenv(AccessibilityBus::GivenAddressVariable, givenAddress);
    qunsetenv(AccessibilityBus::UserBusVariable);

    AccessibilityBus standIn;
    QCOMPARE(standIn.start(), serves);
    if (!serves) {
        QCOMPARE(asker.interface()->isServiceRegistered(service).value(), launcherRunning);
        return;
    }
    // Asked from another connection, as an application on the bus asks; the
    // stand-in answers from this thread's event loop.
    const auto ask = [&asker](const QString &interface, const QString &member,
                              const QVariantList &arguments = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), interface, member);
        call.setArguments(arguments);
        QDBusPendingCall pending = asker.asyncCall(call);
        return QTest::qWaitFor([&pending] { return pending.isFinished(); }, 10000) ? pending.reply()
                                                                                   : QDBusMessage();
    };
    const QDBusMessage address = ask(service, QStringLiteral("GetAddress"));
    QCOMPARE(address.arguments().value(0).toString(), QString::fromLatin1(givenAddress));
    const QDBusMessage enabled =
            ask(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                { QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled") });
    QCOMPARE(enabled.arguments().value(0).value<QDBusVariant>().variant().toBool(), true);
    const QDBusMessage unknown = ask(service, QStringLiteral("Launch"));
    QCOMPARE(unknown.type(), QDBusMessage::ErrorMessage);
}

void tst_Player::silentLauncherIsNotWaitedFor()
{
    // A launcher on the user's bus that never answers: the silent stand-in
    // store client, under the launcher's name too.
    FakeStoreClient launcher;
    QVERIFY(launcher.start());
    launcher.setSilent(true);
    QVERIFY(QDBusConnection(FakeStoreClient::ConnectionName)
                    .registerService(QStringLiteral("org.a11y.Bus")));
    qunsetenv(AccessibilityBus::GivenAddressVariable);
    qputenv(AccessibilityBus::UserBusVariable, qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    const auto cleanUp = qScopeGuard([] { qunsetenv(AccessibilityBus::UserBusVariable); });

    QElapsedTimer clock;
    clock.start();
    AccessibilityBus standIn;
    QVERIFY(!standIn.start());
    // Each of its two questions once waited 25 s.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
}

void tst_Player::rememberedOpenDataChoosesTheStore_data()
{
    QTest::addColumn<QByteArray>("remembered");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("store");
    const QStringList window { QStringLiteral("--artist"), QStringLiteral("Aurora Vale") };
    QTest::newRow("the window, open data remembered")
            << QByteArray("open-data=true\n") << window << QByteArray("Open-data bridge: ");
    QTest::newRow("the window, the emulator remembered")
            << QByteArray("open-data=false\n") << window << QByteArray("Store emulator: ");
    // The switch is the window's: a script's run is as its options say.
    QTest::newRow("a printed run, open data remembered")
            << QByteArray("open-data=true\n") << (window + QStringList { QStringLiteral("--print") })
            << QByteArray("Store emulator: ");
}

void tst_Player::rememberedOpenDataChoosesTheStore()
{
    QFETCH(QByteArray, remembered);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, store);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QDir().mkpath(config.filePath(QStringLiteral("vellora-player")));
    QFile file(config.filePath(QStringLiteral("vellora-player/companion.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(remembered);
    file.close();
    // Nothing of the run may reach a real service.
    const QString nowhere = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
    QStringList roots;
    for (const char *option : { "--musicbrainz", "--listenbrainz", "--listenbrainz-labs", "--coverart" })
        roots << QString::fromLatin1(option) << nowhere;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE), arguments + roots);
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += player.readAllStandardOutput()).contains(": http://127.0.0.1:")
                                     || player.state() == QProcess::NotRunning,
                             30000);
    QVERIFY2(output.startsWith(store), output.constData());
    ::kill(pid_t(player.processId()), SIGTERM);
    QVERIFY(player.waitForFinished(30000));
}

void tst_Player::manualPageNamesEveryOption_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("page");
    QTest::newRow("vellora-player") << QStringLiteral(VELLORA_PLAYER_FILE)
                                    << QStringLiteral(VELLORA_TOOLS_DIR "/player/vellora-player.1");
    QTest::newRow("vellora-store") << QStringLiteral(VELLORA_STORE_FILE)
                                   << QStringLiteral(VELLORA_TOOLS_DIR "/store/vellora-store.1");
    QTest::newRow("vellora-bridge") << QStringLiteral(VELLORA_BRIDGE_FILE)
                                    << QStringLiteral(VELLORA_TOOLS_DIR "/bridge/vellora-bridge.1");
}

// The long options --help-all lists, Qt's among them, and those the manual
// page's OPTIONS section names are the same.
void tst_Player::manualPageNamesEveryOption()
{
    QFETCH(QString, program);
    QFETCH(QString, page);
    QProcess help;
    help.setProcessEnvironment(withoutDisplayOrBus());
    help.start(program, { QStringLiteral("--help-all") });
    QVERIFY(help.waitForFinished(30000));
    QCOMPARE(help.exitCode(), 0);
    QStringList helped;
    static const QRegularExpression listed(QStringLiteral("^\\s+(?:-\\w, )?--([a-z][a-z-]*)"),
                                           QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch &match :
         listed.globalMatch(QString::fromUtf8(help.readAllStandardOutput())))
        helped.append(match.captured(1));

    const QString manual = QString::fromUtf8(TestFiles::read(page));
    const qsizetype options = manual.indexOf(QLatin1String("\n.SH OPTIONS"));
    QVERIFY(options >= 0);
    const QString section =
            manual.mid(options, manual.indexOf(QLatin1String("\n.SH "), options + 1) - options);
    QStringList named;
    static const QRegularExpression option(QStringLiteral("\\\\-\\\\-([a-z](?:[a-z]|\\\\-)*)"));
    for (const QRegularExpressionMatch &match : option.globalMatch(section))
        named.append(match.captured(1).remove(QLatin1Char('\\')));

    helped.sort();
    helped.removeDuplicates();
    named.sort();
    named.removeDuplicates();
    QCOMPARE(named, helped);
}

QTEST_MAIN(tst_Player)
#include "tst_player.moc"
