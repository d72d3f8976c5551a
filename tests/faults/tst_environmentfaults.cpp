#include <QDBusConnection>
#include <QApplication>
#include <QDir>
#include <QHttpServerRequest>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTcpServer>
#include <QUrl>

#include <csignal>
#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "cachefolder.h"
#include "faultharness.h"
#include "panelfixture.h"
#include "promotionlauncher.h"
#include "promotionnetworkapi.h"
#include "storeclientsettings.h"
#include "storeconstants.h"
#include "storeserver.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlist.h"
#include "tekumusicbuttonwidget.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"

namespace {

const int TransferTimeout = 1200;
const int DownloadDeadline = 2500;
const int FailureDelay = 100;
const int OutcomeWait = 15000;
const int PictureRole = Qt::UserRole + 3;
const QString Artist = QStringLiteral("The Beatles");
const QString NoSessionBusVariable = QStringLiteral("VELLORA_FAULTS_NO_SESSION_BUS");

// Set in main(), before any thread exists: a private mount namespace lets the
// test mount small or read-only file systems over the cache.
bool ownMounts = false;

enum class Expect {
    Thumbnails,   // rows, every picture an 80 x 80 thumbnail
    DefaultIcons, // rows, pictures could not be kept and stay the default icon
    NoMatches,    // the no-matches text, then an empty panel
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool mountTmpfs(const QString &where, const char *options, unsigned long flags = 0)
{
    return ownMounts && QDir().mkpath(where)
        && ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", flags, options) == 0;
}

bool unmount(const QString &where)
{
    return ::umount2(QFile::encodeName(where).constData(), MNT_DETACH) == 0;
}

void restartNetworkService()
{
    delete PromotionNetworkAPI::instance();
    PromotionNetworkAPI::instance()->setTransferTimeout(TransferTimeout);
    PromotionNetworkAPI::instance()->setDownloadDeadline(DownloadDeadline);
}

int distinctPictures(VelloraModel *model)
{
    QSet<QString> pictures;
    for (int row = 0; row < model->rowCount(); ++row)
        pictures.insert(model->data(model->index(row, 0), PictureRole).toString());
    return int(pictures.size());
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class tst_EnvironmentFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void environment_data();
    void environment();
    void noSessionBus();

private:
    struct Shown {
        QString outcome;
        qint64 gap = 0;
        bool asExpected = false;
    };
    // Shows the artist in a fresh player panel and waits for the expected outcome.
    Shown run(Expect expect, const std::function<void(VelloraView &)> &whileShown = {});
    bool recovers();
    QString searchUrl();

    PanelFixture m_fixture;
    StoreServer m_proxy;
    UiGapWatch m_watch;
    std::function<void()> m_undo;
};

void tst_EnvironmentFaults::initTestCase()
{
    if (qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        return;
    QVERIFY(m_fixture.start());
    QVERIFY(m_proxy.start());
    // Stands in for a proxy: sees the absolute URL and refuses to forward it.
    m_proxy.setHandler(QString(), [](const QHttpServerRequest &) {
        return StoreServer::Answer{502, "text/plain", "no upstream\n", {}};
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

void tst_EnvironmentFaults::cleanupTestCase()
{
    FaultHarness::printOutcomes(QStringLiteral("Environment faults"));
}

QString tst_EnvironmentFaults::searchUrl()
{
    return m_fixture.store().baseUrl() + QStringLiteral("/1.0/gb/artists/?q=")
        + QString::fromLatin1(QUrl::toPercentEncoding(Artist)) + QStringLiteral("&token=")
        + QString::fromLatin1(StoreConstants::DefaultToken);
}

tst_EnvironmentFaults::Shown tst_EnvironmentFaults::run(Expect expect,
                                                        const std::function<void(VelloraView &)> &whileShown)
{
    DebugLineCounter keptNoPicture(QStringLiteral("Failed to save scaled image!"));
    VelloraView view(PanelViews::Player);
    VelloraModel *model = view.container()->promotionModel();
    model->setFailureDelay(FailureDelay);
    bool noMatchesShown = false;
    FaultHarness::noteNoMatchesShown(view, &noMatchesShown);

    Shown shown;
    m_watch.start();
    view.setDetails(Artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    switch (expect) {
    case Expect::Thumbnails:
        shown.asExpected = QTest::qWaitFor(
            [&] { return FaultHarness::showsResults(view) && FaultHarness::allThumbnails(view); }, OutcomeWait);
        break;
    case Expect::DefaultIcons:
        shown.asExpected = QTest::qWaitFor(
            [&] {
                return FaultHarness::showsResults(view) && keptNoPicture.count() >= distinctPictures(model);
            },
            OutcomeWait)
            && FaultHarness::allCellsShow(view, [](const SvImageWidget *image) {
                   return image->imageId() == FaultHarness::defaultIconOf(PanelViews::Player);
               });
        break;
    case Expect::NoMatches:
        shown.asExpected = QTest::qWaitFor([&] { return noMatchesShown && !view.spinner()->isVisible(); },
                                           OutcomeWait)
            && !FaultHarness::showsResults(view);
        break;
    }
    if (shown.asExpected && whileShown)
        whileShown(view);
    shown.gap = m_watch.stop();
    shown.outcome = expect == Expect::NoMatches && noMatchesShown ? QStringLiteral("no-matches text")
                                                                  : FaultHarness::describeView(view);
    return shown;
}

bool tst_EnvironmentFaults::recovers()
{
    restartNetworkService();
    return run(Expect::Thumbnails).asExpected && FaultHarness::auditCache().isEmpty();
}

void tst_EnvironmentFaults::environment_data()
{
    QTest::addColumn<Expect>("expect");
    QTest::newRow("full-disk") << Expect::DefaultIcons;
    QTest::newRow("file-size-limit") << Expect::DefaultIcons;
    QTest::newRow("read-only-cache") << Expect::DefaultIcons;
    QTest::newRow("file-where-cache-dir-should-be") << Expect::DefaultIcons;
    QTest::newRow("symlink-planted-in-cache") << Expect::Thumbnails;
    QTest::newRow("settings-unreadable") << Expect::NoMatches;
    QTest::newRow("settings-garbage") << Expect::NoMatches;
    QTest::newRow("no-modemmanager") << Expect::Thumbnails;
    QTest::newRow("store-client-absent") << Expect::Thumbnails;
    QTest::newRow("store-client-never-answers") << Expect::Thumbnails;
    QTest::newRow("http-proxy-closed-port") << Expect::NoMatches;
    QTest::newRow("http-proxy-garbage") << Expect::Thumbnails;
}

void tst_EnvironmentFaults::environment()
{
    QFETCH(Expect, expect);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    if (qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        QSKIP("runs with a session bus");

    FaultOutcome outcome;
    outcome.caseName = tag;
    outcome.view = QStringLiteral("player");
    outcome.outcome = QStringLiteral("(did not finish)");
    const auto record = qScopeGuard([&outcome] { FaultHarness::addOutcome(outcome); });

    const QString settingsPath = StoreClientSettings::fileName();
    const QString outside = QDir::homePath() + QStringLiteral("/outside");
    QStringList allowedLinks;
    std::function<void(VelloraView &)> whileShown;

    if (tag == QLatin1String("full-disk")) {
        if (!mountTmpfs(CacheFolder::path(), "size=8k"))
            QSKIP("no private mount namespace here: see file-size-limit");
        m_undo = [] { unmount(CacheFolder::path()); };
        QVERIFY(QDir().mkpath(CacheFolder::path() + QStringLiteral("/queries")));
        QVERIFY(QDir().mkpath(CacheFolder::path() + QStringLiteral("/images")));
        // Fill what is left, so that not even a small answer fits.
        QFile filler(CacheFolder::path() + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        allowedLinks << filler.fileName();
        expect = Expect::DefaultIcons;
    } else if (tag == QLatin1String("file-size-limit")) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        const rlimit tiny = { 64, previous.rlim_max };
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        m_undo = [previous] { ::setrlimit(RLIMIT_FSIZE, &previous); };
    } else if (tag == QLatin1String("read-only-cache")) {
        if (!mountTmpfs(CacheFolder::path(), "size=1m"))
            QSKIP("no private mount namespace here: root ignores file modes, so a read-only cache cannot be made");
        m_undo = [] { unmount(CacheFolder::path()); };
        QVERIFY(QDir().mkpath(CacheFolder::path() + QStringLiteral("/queries")));
        QVERIFY(QDir().mkpath(CacheFolder::path() + QStringLiteral("/images")));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(CacheFolder::path()).constData(), "tmpfs",
                         MS_REMOUNT | MS_RDONLY, "size=1m"),
                 0);
    } else if (tag == QLatin1String("file-where-cache-dir-should-be")) {
        QVERIFY(QDir(CacheFolder::path()).removeRecursively());
        QVERIFY(writeFile(CacheFolder::path(), "not a folder\n"));
        // Gone as a whole, so that the next start builds the cache afresh.
        m_undo = [] { QFile::remove(CacheFolder::path()); };
    } else if (tag == QLatin1String("symlink-planted-in-cache")) {
        // Links where the search answer and the first pictures will be kept,
        // pointing at a file of the user's elsewhere.
        QVERIFY(writeFile(outside, "the user's own file\n"));
        const QString answerLink = CacheFolder::filePath(QStringLiteral("queries"), searchUrl());
        QVERIFY(QFile::link(outside, answerLink));
        allowedLinks << answerLink;
    } else if (tag == QLatin1String("settings-unreadable") || tag == QLatin1String("settings-garbage")) {
        QVERIFY(QFile::remove(settingsPath));
        if (tag == QLatin1String("settings-unreadable")) {
            QVERIFY(QDir().mkpath(settingsPath));
        } else {
            QByteArray garbage;
            for (int i = 0; i < 4096; ++i)
                garbage.append(char((i * 7919 + 13) % 256));
            QVERIFY(writeFile(settingsPath, garbage));
        }
        // The default store is somewhere else; a local proxy takes its
        // requests, so that nothing leaves the machine.
        qputenv("http_proxy", QByteArray("http://127.0.0.1:") + QByteArray::number(m_proxy.port()));
        restartNetworkService();
        const quint16 port = m_fixture.store().port();
        m_undo = [settingsPath, port] {
            qunsetenv("http_proxy");
            QDir(settingsPath).removeRecursively();
            QFile::remove(settingsPath);
            StoreClientSettings::write(port);
        };
    } else if (tag == QLatin1String("no-modemmanager")) {
        // An empty territory makes the panel ask the handset; the system bus
        // of this sandbox does not exist.
        const quint16 port = m_fixture.store().port();
        QVERIFY(StoreClientSettings::write(port, QString(), QString()));
        m_undo = [port] { StoreClientSettings::write(port); };
    } else if (tag == QLatin1String("store-client-absent")
               || tag == QLatin1String("store-client-never-answers")) {
        const bool silent = tag == QLatin1String("store-client-never-answers");
        FakeStoreClient *client = &m_fixture.storeClient();
        client->clear();
        if (silent)
            client->setSilent(true);
        else
            QVERIFY(client->unregisterService());
        whileShown = [client, silent](VelloraView &view) {
            emit view.storeButton()->clicked();
            // The call goes out and is never answered: nothing may wait on it.
            if (silent)
                QVERIFY(QTest::qWaitFor([&] { return !client->calls().isEmpty(); }, 5000));
            else
                QTest::qWait(200);
        };
        m_undo = [client, silent] {
            if (silent)
                client->setSilent(false);
            else
                client->registerService();
        };
    } else if (tag == QLatin1String("http-proxy-closed-port") || tag == QLatin1String("http-proxy-garbage")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray closedPort = QByteArray::number(closed.serverPort());
        closed.close();
        qputenv("http_proxy", tag == QLatin1String("http-proxy-garbage") ? QByteArray("::%%garbage::\x7f:99999999")
                                                                          : "http://127.0.0.1:" + closedPort);
        restartNetworkService();
        m_undo = [] { qunsetenv("http_proxy"); };
    }

    const QByteArray outsideBefore = readFile(outside);
    const Shown shown = run(expect, whileShown);
    outcome.outcome = shown.outcome;
    outcome.longestGap = shown.gap;
    const QStringList problems = FaultHarness::auditCache(allowedLinks);
    outcome.cache = FaultHarness::describeAudit(problems);
    if (tag == QLatin1String("symlink-planted-in-cache")) {
        const bool untouched = readFile(outside) == outsideBefore;
        outcome.cache += untouched ? QStringLiteral(", link target untouched") : QStringLiteral(", LINK TARGET WRITTEN");
        QVERIFY2(untouched, "an answer was written through the planted link");
    }
    QVERIFY2(shown.asExpected, qPrintable(shown.outcome));
    QVERIFY2(shown.gap < FaultHarness::UiGapCeilingMs, qPrintable(FaultHarness::describeGap(shown.gap)));
    QVERIFY2(problems.isEmpty(), qPrintable(outcome.cache));

    cleanup();
    const bool recovered = recovers();
    outcome.recovery = recovered ? QStringLiteral("results with thumbnails") : QStringLiteral("FAILED");
    QVERIFY(recovered);
}

void tst_EnvironmentFaults::noSessionBus()
{
    if (!qEnvironmentVariableIsSet(qPrintable(NoSessionBusVariable)))
        QSKIP("runs in its own process, started without a session bus");
    FaultOutcome outcome;
    outcome.caseName = QStringLiteral("no-session-bus");
    outcome.view = QStringLiteral("player");
    outcome.outcome = QStringLiteral("(did not finish)");
    const auto record = qScopeGuard([&outcome] { FaultHarness::addOutcome(outcome); });

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

    VelloraView view(PanelViews::Player);
    m_watch.start();
    view.setDetails(Artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    // Without the configuration service the switch reads as unset, which means on.
    const bool shown = QTest::qWaitFor(
        [&] { return FaultHarness::showsResults(view) && FaultHarness::allThumbnails(view); }, OutcomeWait);
    if (shown)
        emit view.storeButton()->clicked();
    QTest::qWait(100);
    outcome.longestGap = m_watch.stop();
    outcome.outcome = FaultHarness::describeView(view) + QStringLiteral("; store row touched");
    const QStringList problems = FaultHarness::auditCache();
    outcome.cache = FaultHarness::describeAudit(problems);
    QVERIFY(shown);
    QVERIFY2(outcome.longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(outcome.longestGap)));
    QVERIFY2(problems.isEmpty(), qPrintable(outcome.cache));

    VelloraView again(PanelViews::Album);
    again.setDetails(Artist, QString(), QString(), QString());
    const bool recovered = QTest::qWaitFor([&] { return FaultHarness::showsResults(again); }, OutcomeWait);
    outcome.recovery = recovered ? QStringLiteral("next view shows results") : QStringLiteral("FAILED");
    QVERIFY(recovered);
}

int main(int argc, char *argv[])
{
    // Before any thread: a process with threads cannot leave the shared mount namespace.
    ownMounts = ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (qEnvironmentVariableIsSet("VELLORA_FAULTS_NO_SESSION_BUS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vellora-no-session-bus");
    QApplication app(argc, argv);
    tst_EnvironmentFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_environmentfaults.moc"
