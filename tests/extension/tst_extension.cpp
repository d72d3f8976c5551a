#include <QDir>
#include <QFile>
#include <QGraphicsScene>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

#include "abstractextensioninterface.h"
#include "applicationactionmediator.h"
#include "expectedrows.h"
#include "musicalbumextensioninterface.h"
#include "musicapplicationactioncontent.h"
#include "musicartistextensioninterface.h"
#include "musicplayerextensioninterface.h"
#include "panelfixture.h"
#include "panelprobe.h"
#include "pluginhost.h"
#include "svapplicationextensioninterface.h"
#include "svwidget.h"
#include "viewnames.h"

namespace {

const int settleTimeout = 20000;

// Exposes how many times the extension connected itself.
class CountingMediator : public ApplicationActionMediator
{
public:
    int connections() const
    {
        return receivers(SIGNAL(viewStarted(QSharedPointer<ApplicationActionContent>)));
    }
};

// The player with its three panels in one scene; the scene outlives the
// extension, which owns the panels.
struct Player
{
    QGraphicsScene scene;
    PluginHost host;
    QHash<QString, std::shared_ptr<PanelProbe>> probes;

    bool start(const QString &fileName)
    {
        if (!host.load(fileName))
            return false;
        host.initializeAll();
        const QStringList ids = PluginHost::viewIds();
        for (const QString &id : ids) {
            SvWidget *view = host.view(id);
            if (!view)
                return false;
            scene.addItem(view);
            probes.insert(id, std::make_shared<PanelProbe>(view));
        }
        return true;
    }

    PanelProbe &probe(const QString &id) { return *probes.value(id); }
};

// Threads of this process whose (15-character) name starts so.
int threadsNamed(const QByteArray &prefix)
{
    int count = 0;
    const QStringList tasks =
            QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith(prefix))
            ++count;
    }
    return count;
}

// The extension says it is going, and names each view it ends.
void expectExtensionDeleted(const QStringList &viewIds = {})
{
    QTest::ignoreMessage(QtDebugMsg, "VelloraApplicationExtension::~VelloraApplicationExtension()");
    for (const QString &id : viewIds)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QLatin1Char('"') + id + QLatin1Char('"')));
}

void deleteExtension(QObject *extension, const QStringList &viewIds = {})
{
    expectExtensionDeleted(viewIds);
    delete extension;
}

} // namespace

class tst_Extension : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void instanceIsGuardedSingleton();
    void verificationText();
    void metaDataNamesServedViews();
    void interfaceQuery_data();
    void interfaceQuery();
    void widgetIsLatestView();
    void contentReachesItsView_data();
    void contentReachesItsView();
    void setupActionsCatchesUpOnce();
    void setupActionsKeepsLaterDetails();
    void wholeTrack_data();
    void wholeTrack();
    void deletingEndsViewsAndRequests();

private:
    using InstanceFunction = QObject *(*)();

    QObject *pluginInstance();
    QString freshArtist();
    QStringList expectedTitles(const QString &viewId, const StoreArtist &artist) const;
    int searches() const;
    void publish(Player &player, const QString &viewId, const QString &artist);

    PanelFixture m_fixture;
    QLibrary m_library;
    QList<const StoreArtist *> m_unusedArtists;
};

void tst_Extension::initTestCase()
{
    QVERIFY(m_fixture.start());
    m_library.setFileName(QStringLiteral(VELLORA_PLUGIN_FILE));
    QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));

    // Every test takes artists of its own, so that its requests are not
    // answered from the cache of an earlier one: plain names, each one the
    // only match of its search, with similar items.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z ]+$"));
    const StoreCatalog &catalog = m_fixture.store().catalog();
    for (const StoreArtist &artist : catalog.artists()) {
        const bool unique =
                std::count_if(catalog.artists().cbegin(), catalog.artists().cend(),
                              [&artist](const StoreArtist &other) {
                                  return other.name.compare(artist.name, Qt::CaseInsensitive) == 0;
                              })
                == 1;
        if (plain.match(artist.name).hasMatch() && unique && !artist.albums.isEmpty()
            && !artist.similar.isEmpty())
            m_unusedArtists.append(&artist);
    }
    QVERIFY(m_unusedArtists.size() >= 20);
}

void tst_Extension::cleanup()
{
    m_fixture.store().clearFaults();
}

QObject *tst_Extension::pluginInstance()
{
    auto instance = reinterpret_cast<InstanceFunction>(m_library.resolve("qt_plugin_instance"));
    return instance ? instance() : nullptr;
}

QString tst_Extension::freshArtist()
{
    return m_unusedArtists.takeFirst()->name;
}

QStringList tst_Extension::expectedTitles(const QString &viewId, const StoreArtist &artist) const
{
    return ::expectedTitles(m_fixture.store().catalog(), viewId, artist);
}

int tst_Extension::searches() const
{
    return m_fixture.store().requestCount(StoreRequest::Kind::ArtistSearch);
}

void tst_Extension::publish(Player &player, const QString &viewId, const QString &artist)
{
    player.host.publish(viewId,
                        { artist, QStringLiteral("An Album"), QStringLiteral("A Song"),
                          QStringLiteral("rock") });
}

void tst_Extension::instanceIsGuardedSingleton()
{
    QPluginLoader loader(m_library.fileName());
    QObject *first = loader.instance();
    QVERIFY2(first, qPrintable(loader.errorString()));
    QCOMPARE(pluginInstance(), first);
    QCOMPARE(pluginInstance(), first);

    QPointer<QObject> deleted(first);
    deleteExtension(first);
    QVERIFY(deleted.isNull());

    QObject *second = pluginInstance();
    QVERIFY(second);
    QCOMPARE(pluginInstance(), second);
    QCOMPARE(loader.instance(), second);
    deleteExtension(second);
}

void tst_Extension::verificationText()
{
    using VerificationFunction = const char *(*)();
    auto verification = reinterpret_cast<VerificationFunction>(
            m_library.resolve("qt_plugin_query_verification_data"));
    QVERIFY(verification);
    QCOMPARE(QByteArray(verification()),
             QByteArray("pattern=QT_PLUGIN_VERIFICATION_DATA\n"
                        "version=4.7.4\n"
                        "debug=false\n"
                        "buildkey=armv6 linux g++-4 full-config"));
}

void tst_Extension::metaDataNamesServedViews()
{
    QPluginLoader loader(QStringLiteral(VELLORA_PLUGIN_FILE));
    const QJsonObject metaData = loader.metaData();
    QCOMPARE(metaData.value(QLatin1String("IID")).toString(),
             QLatin1String(qobject_interface_iid<SvApplicationExtensionInterface *>()));
    const QJsonObject plugin = metaData.value(QLatin1String("MetaData")).toObject();
    QCOMPARE(plugin.value(QLatin1String("Name")).toString(), QLatin1String("vellora"));
    QCOMPARE(plugin.value(QLatin1String("Version")).toString(), QLatin1String(VELLORA_VERSION));
    QVERIFY(!plugin.value(QLatin1String("Description")).toString().isEmpty());

    // The views it lists are the views its object answers.
    QStringList listed;
    const QJsonArray interfaces = plugin.value(QLatin1String("Interfaces")).toArray();
    for (const QJsonValue &id : interfaces)
        listed.append(id.toString());
    QObject *extension = pluginInstance();
    QVERIFY(extension);
    QStringList answered = PluginHost::viewIds();
    answered.removeIf([extension](const QString &id) {
        return !extension->qt_metacast(id.toLatin1().constData());
    });
    QCOMPARE(listed, answered);
    deleteExtension(extension);
}

void tst_Extension::interfaceQuery_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("sameAs"); // another name answered with the same face; empty: none
    QTest::addColumn<bool>("answered");

    QTest::newRow("own class") << QByteArray("VelloraApplicationExtension") << QByteArray("QObject")
                               << true;
    QTest::newRow("album class") << QByteArray("MusicAlbumExtensionInterface")
                                 << QByteArray(
                                            qobject_interface_iid<MusicAlbumExtensionInterface *>())
                                 << true;
    QTest::newRow("artist class")
            << QByteArray("MusicArtistExtensionInterface")
            << QByteArray(qobject_interface_iid<MusicArtistExtensionInterface *>()) << true;
    QTest::newRow("player class")
            << QByteArray("MusicPlayerExtensionInterface")
            << QByteArray(qobject_interface_iid<MusicPlayerExtensionInterface *>()) << true;
    QTest::newRow("toolkit id") << QByteArray(
            "com.solvane.core.SvApplicationExtensionInterface/1.0")
                                << QByteArray() << true;
    QTest::newRow("host base") << QByteArray("AbstractStoreExtensionWidget")
                               << QByteArray("AbstractExtensionInterface") << true;
    QTest::newRow("genre id") << ViewNames::Genre.toLatin1() << QByteArray() << false;
    QTest::newRow("unknown") << QByteArray("com.corvex.Sonavo.extensions.NoSuchInterface/1.0")
                             << QByteArray() << false;
}

void tst_Extension::interfaceQuery()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, sameAs);
    QFETCH(bool, answered);

    QObject *extension = pluginInstance();
    QVERIFY(extension);
    void *face = extension->qt_metacast(name.constData());
    QCOMPARE(face != nullptr, answered);
    if (!sameAs.isEmpty())
        QCOMPARE(face, extension->qt_metacast(sameAs.constData()));

    // Each host interface is its own face of the object.
    QSet<void *> faces { qobject_cast<MusicAlbumExtensionInterface *>(extension),
                         qobject_cast<MusicArtistExtensionInterface *>(extension),
                         qobject_cast<MusicPlayerExtensionInterface *>(extension),
                         qobject_cast<SvApplicationExtensionInterface *>(extension) };
    QCOMPARE(faces.size(), 4);
    QVERIFY(!faces.contains(nullptr));
    QCOMPARE(extension->qt_metacast("com.solvane.core.SvApplicationExtensionInterface/1.0"),
             static_cast<void *>(qobject_cast<SvApplicationExtensionInterface *>(extension)));

    deleteExtension(extension);
}

void tst_Extension::widgetIsLatestView()
{
    QObject *extension = pluginInstance();
    auto *face = qobject_cast<SvApplicationExtensionInterface *>(extension);
    QVERIFY(face);
    QCOMPARE(face->widget(), nullptr);
    QTest::ignoreMessage(QtDebugMsg, "VelloraApplicationExtension::initialize");
    QVERIFY(face->initialize(ViewNames::Player));
    QPointer<SvWidget> player = face->widget();
    QTest::ignoreMessage(QtDebugMsg, "VelloraApplicationExtension::initialize");
    QVERIFY(face->initialize(ViewNames::Album));
    QPointer<SvWidget> album = face->widget();
    QVERIFY(player && album);
    QVERIFY(player != album);

    // Naming an existing view again fails and makes it the current one.
    QTest::ignoreMessage(QtDebugMsg, "VelloraApplicationExtension::initialize");
    QTest::ignoreMessage(QtDebugMsg, "Initialize error");
    QVERIFY(!face->initialize(ViewNames::Player));
    QCOMPARE(face->widget(), player.data());

    deleteExtension(extension, { ViewNames::Player, ViewNames::Album });
    QVERIFY(player.isNull() && album.isNull());
}

void tst_Extension::contentReachesItsView_data()
{
    QTest::addColumn<int>("viewType");
    QTest::addColumn<QString>("viewId"); // empty: no view gets it

    QTest::newRow("0 player") << 0 << ViewNames::Player;
    QTest::newRow("1 album") << 1 << ViewNames::Album;
    QTest::newRow("2 artist") << 2 << ViewNames::Artist;
    QTest::newRow("3 genre, not served") << 3 << QString();
    QTest::newRow("7 other, player") << 7 << ViewNames::Player;
    QTest::newRow("plain content") << -1 << QString();
}

void tst_Extension::contentReachesItsView()
{
    QFETCH(int, viewType);
    QFETCH(QString, viewId);

    Player player;
    QVERIFY(player.start(m_library.fileName()));
    const QString artist = freshArtist();
    const QHash<QString, QVariant> values { { QStringLiteral("artist"), artist } };
    QSharedPointer<ApplicationActionContent> content(
            viewType < 0 ? new ApplicationActionContent(values)
                         : new MusicApplicationActionContent(viewType, values));

    const int before = searches();
    player.host.mediator()->publish(content);

    // A follow-up content for the player view shows when the first has been
    // dealt with: the store answers one request at a time, in order.
    if (viewId.isEmpty()) {
        publish(player, ViewNames::Player, freshArtist());
        QTRY_COMPARE_WITH_TIMEOUT(player.probe(ViewNames::Player).state(),
                                  PanelProbe::State::Results, settleTimeout);
        QCOMPARE(searches(), before + 1);
        QCOMPARE(player.probe(ViewNames::Album).rows().size(), 0);
        QCOMPARE(player.probe(ViewNames::Artist).rows().size(), 0);
        return;
    }

    QTRY_COMPARE_WITH_TIMEOUT(player.probe(viewId).state(), PanelProbe::State::Results,
                              settleTimeout);
    QCOMPARE(searches(), before + 1);
    const QStringList ids = PluginHost::viewIds();
    for (const QString &other : ids) {
        if (other != viewId)
            QCOMPARE(player.probe(other).rows().size(), 0);
    }
}

void tst_Extension::setupActionsCatchesUpOnce()
{
    QObject *extension = pluginInstance();
    auto *face = qobject_cast<SvApplicationExtensionInterface *>(extension);
    QVERIFY(face->initialize(ViewNames::Player));
    QGraphicsScene scene;
    scene.addItem(face->widget());
    PanelProbe probe(face->widget());

    CountingMediator mediator;
    const QString artist = freshArtist();
    mediator.publish(QSharedPointer<ApplicationActionContent>(
            new MusicApplicationActionContent(0, { { QStringLiteral("artist"), artist } })));

    const int before = searches();
    auto *host = qobject_cast<AbstractExtensionInterface *>(extension);
    host->setupActions(&mediator);
    host->setupActions(&mediator);
    QCOMPARE(mediator.connections(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(probe.state(), PanelProbe::State::Results, settleTimeout);
    QCOMPARE(searches(), before + 1);
    delete extension;
}

void tst_Extension::setupActionsKeepsLaterDetails()
{
    Player player;
    QVERIFY(player.start(m_library.fileName()));
    const QString delivered = freshArtist();
    publish(player, ViewNames::Player, delivered);
    QTRY_COMPARE_WITH_TIMEOUT(player.probe(ViewNames::Player).state(), PanelProbe::State::Results,
                              settleTimeout);

    // A second mediator holding other content: details came already, so
    // nothing is caught up.
    ApplicationActionMediator second;
    const StoreArtist *held = m_unusedArtists.takeFirst();
    second.publish(QSharedPointer<ApplicationActionContent>(
            new MusicApplicationActionContent(2, { { QStringLiteral("artist"), held->name } })));
    const int before = searches();
    qobject_cast<AbstractExtensionInterface *>(player.host.extension())->setupActions(&second);

    const QString marker = freshArtist();
    publish(player, ViewNames::Album, marker);
    QTRY_COMPARE_WITH_TIMEOUT(player.probe(ViewNames::Album).state(), PanelProbe::State::Results,
                              settleTimeout);
    QCOMPARE(searches(), before + 1);
    QCOMPARE(player.probe(ViewNames::Artist).rows().size(), 0);
}

void tst_Extension::wholeTrack_data()
{
    QTest::addColumn<QString>("viewId");
    QTest::addColumn<QString>("rowPrefix");
    QTest::addColumn<QString>("storePrefix");

    QTest::newRow("player") << ViewNames::Player
                            << QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/")
                            << QStringLiteral("#Artist/SolvaneSonavoNowPlayingViewVellora/");
    QTest::newRow("album") << ViewNames::Album
                           << QStringLiteral("#Product/SolvaneSonavoSongViewVellora/")
                           << QStringLiteral("#Artist/SolvaneSonavoSongViewVellora/");
    QTest::newRow("artist") << ViewNames::Artist
                            << QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/")
                            << QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/");
}

void tst_Extension::wholeTrack()
{
    QFETCH(QString, viewId);
    QFETCH(QString, rowPrefix);
    QFETCH(QString, storePrefix);

    Player player;
    QVERIFY(player.start(m_library.fileName()));
    const StoreArtist *artist = m_unusedArtists.takeFirst();
    // Only the artist, as from a player that knows nothing else of the track.
    player.host.publish(viewId, { artist->name, QString(), QString(), QString() });

    PanelProbe &probe = player.probe(viewId);
    QTRY_VERIFY_WITH_TIMEOUT(probe.state() == PanelProbe::State::Results && probe.picturesLoaded(),
                             settleTimeout);
    const QList<PanelProbe::Row> rows = probe.rows();
    const QList<ExpectedRow> expected = expectedRows(m_fixture.store().catalog(), viewId, *artist);
    QCOMPARE(rows.size(), expected.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i).title, expected.at(i).title);
        QCOMPARE(rows.at(i).subtitle, expected.at(i).subtitle);
        QCOMPARE(rows.at(i).sideText, expected.at(i).sideText);
    }

    QSignalSpy linkSpy(&m_fixture.storeClient(), &FakeStoreClient::linkOpened);
    QVERIFY(probe.clickRow(0));
    QTRY_COMPARE_WITH_TIMEOUT(linkSpy.count(), 1, settleTimeout);
    QCOMPARE(linkSpy.takeFirst().constFirst().toString(), rowPrefix + expected.constFirst().link);

    QVERIFY(probe.clickStoreRow());
    QTRY_COMPARE_WITH_TIMEOUT(linkSpy.count(), 1, settleTimeout);
    QCOMPARE(linkSpy.takeFirst().constFirst().toString(),
             storePrefix + artist->name + QLatin1Char('/') + artist->id);
}

void tst_Extension::deletingEndsViewsAndRequests()
{
    auto player = std::make_unique<Player>();
    QVERIFY(player->start(m_library.fileName()));
    QList<QPointer<SvWidget>> views;
    for (const QString &id : PluginHost::viewIds())
        views.append(player->host.view(id));

    // The search path only; picture paths name their kind, "artists" too.
    StoreFault stall(StoreFault::Kind::Stall, QStringLiteral("/gb/artists"));
    m_fixture.store().addFault(stall);
    const int before = searches();
    publish(*player, ViewNames::Player, freshArtist());
    QTRY_COMPARE_WITH_TIMEOUT(searches(), before + 1, settleTimeout);
    QCOMPARE(m_fixture.store().pendingFaultCount(), 0);

    expectExtensionDeleted(PluginHost::viewIds());
    player.reset();
    for (const QPointer<SvWidget> &view : views)
        QVERIFY(view.isNull());
    // Nothing of the plug-in runs on into the host's exit: the network threads
    // end (the system lets a joined thread go a moment after Qt says so).
    QTRY_COMPARE(threadsNamed("QNetworkAccessM"), 0);

    // The stalled download went with its requester: a new extension is served.
    Player next;
    QVERIFY(next.start(m_library.fileName()));
    publish(next, ViewNames::Artist, freshArtist());
    QTRY_COMPARE_WITH_TIMEOUT(next.probe(ViewNames::Artist).state(), PanelProbe::State::Results,
                              settleTimeout);
}

QTEST_MAIN(tst_Extension)
#include "tst_extension.moc"
