#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTcpServer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cachefolder.h"
#include "faultharness.h"
#include "storefetcher.h"
#include "storehttprequest.h"
#include "testfiles.h"
#include "filesizelimit.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "storeclientsettings.h"
#include "storeconstants.h"
#include "storeendpoint.h"
#include "storeserver.h"
#include "tekumusicbuttonwidget.h"

namespace {

const QString NoSessionBusVariable = QStringLiteral("VELLORA_FAULTS_NO_SESSION_BUS");

#ifdef VELLORA_SANITIZED
const qint64 MemoryCeiling = std::numeric_limits<qint64>::max();
#else
const qint64 MemoryCeiling = 150 << 20;
#endif

// Set in main(), before any thread exists: a private mount namespace lets the
// test mount small or read-only file systems over the cache.
bool ownMounts = false;

// What a setup made of the environment, and how to put it back.
struct Stage
{
    std::function<void()> undo = [] {};
    QStringList allowedLinks; // symbolic links that the cache audit accepts
    // Harm that the panel did beyond the cache, in words; empty: none.
    std::function<QString()> harm = [] { return QString(); };
    const char *cannot = nullptr; // why this machine cannot stage it
};

struct Environment
{
    std::function<Stage()> setup;
    Outcome expect;
    // Done while the outcome shows; fails the row itself.
    std::function<void(PanelRun &)> whileShown = [](PanelRun &) {};
};

Stage unavailable(const char *why)
{
    Stage stage;
    stage.cannot = why;
    return stage;
}

// A check inside a setup, failing the row as QVERIFY would.
bool staged(bool ok, const char *what)
{
    return QTest::qVerify(ok, what, "", __FILE__, __LINE__);
}

bool mountTmpfs(const QString &where, const char *options, unsigned long flags = 0)
{
    return ownMounts && QDir().mkpath(where)
            && ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", flags, options) == 0;
}

std::function<void()> unmounting(const QString &where)
{
    return [where] { ::umount2(QFile::encodeName(where).constData(), MNT_DETACH); };
}

bool makeCacheFolders()
{
    return QDir().mkpath(CacheFolder::path() + QStringLiteral("/queries"))
            && QDir().mkpath(CacheFolder::path() + QStringLiteral("/images"));
}

void restartNetworkService()
{
    delete PromotionNetworkAPI::instance();
    FaultHarness::shortenLimits();
}

std::function<void()> withProxy(const QByteArray &proxy)
{
    qputenv("http_proxy", proxy);
    restartNetworkService();
    return [] { qunsetenv("http_proxy"); };
}

} // namespace

Q_DECLARE_METATYPE(Environment)

class tst_EnvironmentFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void environment_data();
    void environment();
    void noSessionBus();

private:
    PanelFixture m_fixture;
    StoreServer m_proxy;
    std::function<void()> m_undo;
};

void tst_EnvironmentFaults::initTestCase()
{
    if (qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        return;
    QVERIFY(m_fixture.start());
    QVERIFY(m_proxy.start());
    // Stands in for a proxy: sees the absolute URL and refuses to forward it.
    m_proxy.setHandler(QString(), [](const StoreHttpRequest &) {
        return StoreServer::Answer { 502, "text/plain", "no upstream\n", {} };
    });
    restartNetworkService();
}

void tst_EnvironmentFaults::init()
{
    if (qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        return;
    m_fixture.reset();
    m_undo = nullptr;
}

void tst_EnvironmentFaults::cleanup()
{
    if (m_undo)
        m_undo();
    m_undo = nullptr;
}

void tst_EnvironmentFaults::environment_data()
{
    QTest::addColumn<Environment>("environment");

    const Outcome thumbnails = FaultHarness::thumbnails();
    const Outcome noMatches = FaultHarness::noMatches();
    const Outcome defaultIcons =
            FaultHarness::defaultIcons(QStringLiteral("Failed to save scaled image!"));
    const QString settingsPath = StoreClientSettings::fileName();
    const quint16 storePort = m_fixture.store().port();
    const auto restoreSettings = [settingsPath, storePort] {
        QDir(settingsPath).removeRecursively();
        QFile::remove(settingsPath);
        StoreClientSettings::write(storePort);
    };
    // The default store is somewhere else; a local proxy takes its
    // requests, so that nothing leaves the machine.
    const QByteArray localProxy = "http://127.0.0.1:" + QByteArray::number(m_proxy.port());
    // The settings are put back after the row, and the default store the
    // panel falls back on is the local proxy.
    const auto settingsStage = [=] {
        const auto unproxy = withProxy(localProxy);
        return Stage { [=] {
            unproxy();
            restoreSettings();
        } };
    };
    FakeStoreClient *client = &m_fixture.storeClient();

    QTest::newRow("full-disk") << Environment {
        [] {
            if (!mountTmpfs(CacheFolder::path(), "size=8k"))
                return unavailable("no private mount namespace here: see file-size-limit");
            Stage stage { unmounting(CacheFolder::path()) };
            staged(makeCacheFolders(), "cache folders on the small file system");
            // Fill what is left, so that not even a small answer fits.
            QFile filler(CacheFolder::path() + QStringLiteral("/filler"));
            staged(filler.open(QIODevice::WriteOnly), "filler opened");
            const QByteArray block(1024, 'x');
            while (filler.write(block) == block.size() && filler.flush()) { }
            stage.allowedLinks << filler.fileName();
            return stage;
        },
        defaultIcons
    };
    QTest::newRow("file-size-limit")
            << Environment { [] {
                                // Lifted by the undo, whichever copies of it live on.
                                auto limit = std::make_shared<std::unique_ptr<FileSizeLimit>>(
                                        std::make_unique<FileSizeLimit>(64));
                                return Stage { [limit] { limit->reset(); } };
                            },
                             defaultIcons };
    QTest::newRow("read-only-cache")
            << Environment { [] {
                                if (!mountTmpfs(CacheFolder::path(), "size=1m"))
                                    return unavailable("no private mount namespace here: root "
                                                       "ignores file modes, so a read-only cache "
                                                       "cannot be made");
                                Stage stage { unmounting(CacheFolder::path()) };
                                staged(makeCacheFolders(), "cache folders made");
                                staged(::mount("tmpfs",
                                               QFile::encodeName(CacheFolder::path()).constData(),
                                               "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m")
                                               == 0,
                                       "cache remounted read-only");
                                return stage;
                            },
                             defaultIcons };
    QTest::newRow("file-where-cache-dir-should-be") << Environment {
        [] {
            staged(QDir(CacheFolder::path()).removeRecursively(), "cache removed");
            staged(TestFiles::write(CacheFolder::path(), "not a folder\n"),
                   "file in the cache's place");
            // Gone as a whole, so that the next start builds the cache afresh.
            return Stage { [] { QFile::remove(CacheFolder::path()); } };
        },
        defaultIcons
    };
    QTest::newRow("symlink-planted-in-cache") << Environment {
        [this] {
            // A link where the search answer will be kept, pointing at a file of
            // the user's elsewhere.
            const QString outside = QDir::homePath() + QStringLiteral("/outside");
            const QByteArray before = "the user's own file\n";
            StoreFetcher urls;
            urls.setBaseUrl(m_fixture.store().baseUrl());
            staged(TestFiles::write(outside, before), "the user's file written");
            const QString answerLink = CacheFolder::filePath(
                    QStringLiteral("queries"), urls.artistSearchUrl(FaultHarness::artist()));
            staged(QFile::link(outside, answerLink), "link planted");
            return Stage { [] {},
                           { answerLink },
                           [outside, before] {
                               return TestFiles::read(outside) == before
                                       ? QString()
                                       : QStringLiteral(
                                               "an answer was written through the planted link");
                           } };
        },
        thumbnails
    };
    QTest::newRow("settings-unreadable")
            << Environment { [=] {
                                staged(QFile::remove(settingsPath) && QDir().mkpath(settingsPath),
                                       "a folder in the settings' place");
                                return settingsStage();
                            },
                             noMatches };
    QTest::newRow("settings-garbage")
            << Environment { [=] {
                                QByteArray garbage;
                                for (int i = 0; i < 4096; ++i)
                                    garbage.append(char((i * 7919 + 13) % 256));
                                staged(QFile::remove(settingsPath)
                                               && TestFiles::write(settingsPath, garbage),
                                       "garbage settings written");
                                return settingsStage();
                            },
                             noMatches };
    // Both count as no file: the defaults send the panel to the default
    // store, here the refusing proxy.
    QTest::newRow("settings-fifo")
            << Environment { [=] {
                                // Opening a pipe with no writer blocks until one comes.
                                staged(QFile::remove(settingsPath)
                                               && ::mkfifo(QFile::encodeName(settingsPath).constData(),
                                                           0600) == 0,
                                       "a named pipe in the settings' place");
                                return settingsStage();
                            },
                             noMatches };
    // A cache folder of 300 000 files named as the cache names them: the
    // trim at start must hold back no answer, no picture and no quit, and
    // read the folder without holding it whole.
    QTest::newRow("cache-of-300000-files") << Environment {
        [] {
            const auto planted = [](int i) {
                return QFile::encodeName(CacheFolder::folder(QStringLiteral("images"))
                                         + QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')));
            };
            staged(QDir().mkpath(CacheFolder::folder(QStringLiteral("images"))), "cache made");
            for (int i = 0; i < 300000 && !QTest::currentTestFailed(); ++i) {
                const int fd = ::open(planted(i).constData(), O_WRONLY | O_CREAT, 0600);
                staged(fd >= 0 && ::close(fd) == 0, "file planted");
            }
            FaultHarness::resetPeakMemory();
            // The new service trims as it starts.
            restartNetworkService();
            Stage stage;
            // The planted files go before the cache is audited. Quitting once
            // waited for the whole trim; it need not be quick on a busy machine.
            stage.harm = [planted] {
                QElapsedTimer quitting;
                quitting.start();
                PromotionNetworkAPI::shutDown();
                const qint64 quitMs = quitting.elapsed();
                const qint64 peak = FaultHarness::peakMemory();
                for (int i = 0; i < 300000; ++i)
                    ::unlink(planted(i).constData());
                return quitMs > 5000 || peak > MemoryCeiling
                        ? QStringLiteral("quitting took %1 ms, %2 MiB resident")
                                  .arg(quitMs)
                                  .arg(peak >> 20)
                        : QString();
            };
            return stage;
        },
        thumbnails
    };
    // Either: the file events may overflow and lose the last change.
    const Outcome settled = { QStringLiteral("rows or no matches"), [=](const PanelRun &run) {
                                 return thumbnails.reached(run) || noMatches.reached(run);
                             } };
    // A file and a pipe swapped over each other while the panel reads the
    // file again at each change; the user interface is watched until the
    // swapper ends, which opens the pipe to free an open() stuck on it.
    const auto swapping = std::make_shared<std::atomic_bool>(false);
    QTest::newRow("settings-swapped-with-a-pipe") << Environment {
        [=] {
            const QByteArray path = QFile::encodeName(settingsPath);
            const QByteArray pipe = path + ".pipe";
            staged(::mkfifo(pipe.constData(), 0600) == 0, "a named pipe beside the settings");
            auto stop = std::make_shared<std::atomic_bool>(false);
            *swapping = true;
            auto swapper = std::make_shared<std::thread>([path, pipe, stop, swapping] {
                QElapsedTimer clock;
                clock.start();
                int swaps = 0;
                while (!*stop && clock.elapsed() < 8000) {
                    swaps += ::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, pipe.constData(),
                                         RENAME_EXCHANGE)
                            == 0;
                }
                if (swaps % 2 == 1)
                    ::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, pipe.constData(),
                                RENAME_EXCHANGE);
                const int writer = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0)
                    ::close(writer);
                *swapping = false;
            });
            Stage stage = settingsStage();
            stage.undo = [undo = stage.undo, stop, swapper, pipe] {
                *stop = true;
                swapper->join();
                ::unlink(pipe.constData());
                undo();
            };
            return stage;
        },
        settled,
        [swapping](PanelRun &) { QTRY_VERIFY_WITH_TIMEOUT(!*swapping, 10000); }
    };
    QTest::newRow("settings-too-large")
            << Environment { [=] {
                                // A file that points at the test's store, reached
                                // directly, but far larger than any store client writes.
                                QFile settings(settingsPath);
                                staged(settings.open(QIODevice::Append)
                                               && settings.write("\n[Padding]\nfiller=")
                                               && settings.write(QByteArray(1100 * 1024, 'x'))
                                               && settings.write("\n"),
                                       "settings padded past a megabyte");
                                settings.close();
                                qputenv("no_proxy", "127.0.0.1");
                                Stage stage = settingsStage();
                                stage.undo = [undo = stage.undo] {
                                    qunsetenv("no_proxy");
                                    undo();
                                };
                                return stage;
                            },
                             noMatches };
    // QSettings would decode these values into objects whenever the store's
    // settings are read: a list nested 30 000 deep overflowed the stack, and
    // seven pictures of 5600 x 5600 took 13 s and 897 MB at each track change.
    QTest::newRow("settings-with-nested-variant")
            << Environment { [=] {
                                QByteArray value = "@Variant(";
                                // A list of one item, down to an invalid value.
                                for (int i = 0; i < 30000; ++i)
                                    value += "\\0\\0\\0\\t\\0\\0\\0\\x1";
                                value += "\\0\\0\\0\\0)";
                                QFile settings(settingsPath);
                                staged(settings.open(QIODevice::Append)
                                               && settings.write("\n[User]\nterritory=" + value
                                                                 + "\n"),
                                       "a nested value appended");
                                staged(settings.size() < StoreEndpoint::MaxSettingsFileSize,
                                       "settings within the size bound");
                                return Stage { restoreSettings };
                            },
                             thumbnails };
    QTest::newRow("settings-with-pictures")
            << Environment { [=] {
                                QTemporaryDir folder;
                                const QString scratch = folder.filePath(QStringLiteral("p.ini"));
                                QImage picture(5600, 5600, QImage::Format_Grayscale8);
                                picture.fill(Qt::darkCyan);
                                QSettings(scratch, QSettings::IniFormat)
                                        .setValue(QStringLiteral("picture"), picture);
                                QByteArray value = TestFiles::read(scratch);
                                value = value.mid(value.indexOf("picture=") + 8).trimmed();
                                QFile settings(settingsPath);
                                staged(settings.open(QIODevice::Append)
                                               && settings.write("\n[ServiceProviders]\n"),
                                       "a section appended");
                                for (int i = 0; i < 7; ++i)
                                    settings.write("CorvexMusic\\PAPI\\logo" + QByteArray::number(i)
                                                   + '=' + value + '\n');
                                staged(settings.size() < StoreEndpoint::MaxSettingsFileSize,
                                       "settings within the size bound");
                                return Stage { restoreSettings };
                            },
                             thumbnails };
    // An empty territory makes the panel ask the handset; the system bus of
    // this sandbox does not exist.
    QTest::newRow("no-modemmanager")
            << Environment { [=] {
                                staged(StoreClientSettings::write(storePort, QString(), QString()),
                                       "settings without territory");
                                return Stage { [=] { StoreClientSettings::write(storePort); } };
                            },
                             thumbnails };
    QTest::newRow("store-client-absent") << Environment {
        [client] {
            client->clear();
            staged(client->unregisterService(), "store client gone");
            return Stage { [client] { client->registerService(); } };
        },
        thumbnails,
        [client](PanelRun &run) {
            emit run.view.storeButton()->clicked();
            // A call on the same connection comes back after the bus has refused the touch's call.
            const QDBusReply<bool> registered =
                    QDBusConnection::sessionBus().interface()->isServiceRegistered(
                            FakeStoreClient::ServiceName);
            QVERIFY(registered.isValid() && !registered.value());
            QCoreApplication::processEvents();
            QCOMPARE(client->callCount(), 0);
        }
    };
    QTest::newRow("store-client-never-answers")
            << Environment { [client] {
                                client->clear();
                                client->setSilent(true);
                                return Stage { [client] { client->setSilent(false); } };
                            },
                             thumbnails,
                             [client](PanelRun &run) {
                                 emit run.view.storeButton()->clicked();
                                 // The call goes out and is never answered: nothing may wait on it.
                                 QTRY_COMPARE_WITH_TIMEOUT(client->links().size(), 1,
                                                           FaultHarness::OutcomeWaitMs);
                             } };
    QTest::newRow("http-proxy-closed-port")
            << Environment { [] {
                                QTcpServer closed;
                                staged(closed.listen(QHostAddress::LocalHost), "a free port found");
                                const QByteArray closedPort =
                                        QByteArray::number(closed.serverPort());
                                closed.close();
                                return Stage { withProxy("http://127.0.0.1:" + closedPort) };
                            },
                             noMatches };
    QTest::newRow("http-proxy-garbage") << Environment {
        [] { return Stage { withProxy(QByteArray("::%%garbage::\x7f:99999999")) }; }, thumbnails
    };
}

void tst_EnvironmentFaults::environment()
{
    QFETCH(Environment, environment);
    if (qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        QSKIP("runs with a session bus");

    const Stage stage = environment.setup();
    m_undo = stage.undo;
    if (stage.cannot)
        QSKIP(stage.cannot);
    if (QTest::currentTestFailed())
        return;

    auto run = std::make_unique<PanelRun>(ViewNames::Player);
    FaultHarness::resetPeakMemory();
    const Awaited result = FaultHarness::await(*run, environment.expect, FaultHarness::artist());
    QVERIFY2(result.reached, qPrintable(result.shown));
    StallClock stalls(FaultHarness::StallTickMs);
    stalls.start();
    environment.whileShown(*run);
    const qint64 longestGap = qMax(result.longestGap, qint64(stalls.stop().ms));
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(longestGap)));
    const qint64 peak = FaultHarness::peakMemory();
    QVERIFY2(peak < MemoryCeiling, qPrintable(QStringLiteral("%1 MiB resident").arg(peak >> 20)));
    const QString harm = stage.harm();
    const QStringList problems = FaultHarness::auditCache(stage.allowedLinks);
    QVERIFY2(harm.isEmpty(), qPrintable(harm));
    QVERIFY2(problems.isEmpty(), qPrintable(FaultHarness::describeAudit(problems)));

    run.reset();
    cleanup();
    restartNetworkService();
    QVERIFY(FaultHarness::recovers(ViewNames::Player, FaultHarness::artist()));
}

void tst_EnvironmentFaults::noSessionBus()
{
    if (!qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        QSKIP("runs in its own process, started without a session bus");
    QVERIFY(!QDBusConnection::sessionBus().isConnected());
    StoreServer store;
    QVERIFY(store.start());
    QVERIFY(StoreClientSettings::write(store.port()));
    SimulatedBearerBackend bearer;
    bearer.setOnline(true);
    bearer.setSessionRequired(false);
    BearerBackend::install(&bearer);
    const auto uninstall = qScopeGuard([] { BearerBackend::install(nullptr); });
    restartNetworkService();

    // Without the configuration service the switch reads as unset, which means on.
    PanelRun run(ViewNames::Player);
    const Awaited result =
            FaultHarness::await(run, FaultHarness::thumbnails(), FaultHarness::artist());
    QVERIFY2(result.reached, qPrintable(result.shown));
    StallClock stalls(FaultHarness::StallTickMs);
    stalls.start();
    emit run.view.storeButton()->clicked();
    QCoreApplication::processEvents();
    const qint64 longestGap = qMax(result.longestGap, qint64(stalls.stop().ms));
    QVERIFY2(longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(longestGap)));
    const QStringList problems = FaultHarness::auditCache();
    QVERIFY2(problems.isEmpty(), qPrintable(FaultHarness::describeAudit(problems)));

    PanelRun again(ViewNames::Album);
    again.view.setDetails(FaultHarness::artist(), QString(), QString(), QString());
    QVERIFY(QTest::qWaitFor([&] { return again.probe.state() == PanelProbe::State::Results; },
                            FaultHarness::OutcomeWaitMs));
}

int main(int argc, char *argv[])
{
    // Before any thread: a process with threads cannot leave the shared mount namespace.
    ownMounts = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (qEnvironmentVariableIsSet("VELLORA_FAULTS_NO_SESSION_BUS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vellora-no-session-bus");
    QApplication app(argc, argv);
    tst_EnvironmentFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_environmentfaults.moc"
