// The open-data bridge against an emulator of the services it asks: every
// view through the real plug-in, the limits it keeps, its cache and the
// pages a touched row opens.

#include <QCommandLineParser>
#include <QDBusConnection>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include "bridgeserver.h"
#include "pageopener.h"
#include "upstreamanswers.h"
#include "upstreamemulator.h"

namespace {

const QString Seed = QStringLiteral("a0000000-0000-4000-8000-000000000001");
const QString FirstSimilar = QStringLiteral("a0000000-0000-4000-8000-000000000011");
const qint64 Day = 24 * 3600;

struct Row
{
    QString title;
    QString subtitle;
    QString side;
};

// Stands in for the desktop portal: keeps the address of each OpenURI call.
class StandInPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.OpenURI")

public:
    ~StandInPortal() override
    {
        if (!m_bus)
            return;
        m_bus->unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus->unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    }

    bool registerOn(const QDBusConnection &bus)
    {
        m_bus.emplace(bus);
        return m_bus->registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this,
                                     QDBusConnection::ExportScriptableSlots)
                && m_bus->registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    QStringList opened;

public slots:
    Q_SCRIPTABLE void OpenURI(const QString &, const QString &uri, const QVariantMap &)
    {
        opened.append(uri);
    }

private:
    std::optional<QDBusConnection> m_bus;
};

} // namespace

class tst_Bridge : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void viewsThroughThePlugin_data();
    void viewsThroughThePlugin();
    void failingUpstreamIsAStoreFailure_data();
    void failingUpstreamIsAStoreFailure();
    void cacheAges_data();
    void cacheAges();
    void tricklingAnswerFreesTheQueue();
    void musicBrainzInterval_data();
    void musicBrainzInterval();
    void waitsOutBusyAnswers_data();
    void waitsOutBusyAnswers();
    void untrustedAnswers_data();
    void untrustedAnswers();
    void untrustedRecordings_data();
    void untrustedRecordings();
    void touchedRowOpensPage_data();
    void touchedRowOpensPage();

private:
    // The player's output, once it has ended; the emulator answers meanwhile.
    QString runPlayer(const QStringList &arguments, int *exitCode,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    QList<Row> rows(const QString &output);
    // GET of the bridge's path; the status, and the body in body.
    int get(const BridgeServer &bridge, const QString &path, QByteArray *body = nullptr);
    BridgeOptions optionsFor(const UpstreamEmulator &upstream) const;
    // The same, for rows about what is asked and cached rather than when: the
    // emulator is a MusicBrainz of our own, asked without waiting.
    BridgeOptions quickOptionsFor(const UpstreamEmulator &upstream) const;

    std::unique_ptr<UpstreamEmulator> m_upstream;
    std::unique_ptr<QTemporaryDir> m_cache;
    QNetworkAccessManager m_network;
};

void tst_Bridge::init()
{
    m_upstream = std::make_unique<UpstreamEmulator>(QStringLiteral(UPSTREAM_ROUTES));
    QVERIFY(m_upstream->start());
    m_cache = std::make_unique<QTemporaryDir>();
    QVERIFY(m_cache->isValid());
}

QString tst_Bridge::runPlayer(const QStringList &arguments, int *exitCode,
                              const QProcessEnvironment &environment)
{
    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::MergedChannels);
    QSignalSpy finishedSpy(&player, &QProcess::finished);
    player.start(QStringLiteral(VELLORA_PLAYER_FILE),
                 QStringList { QStringLiteral("--open-data"), QStringLiteral("--cache"),
                               m_cache->path() }
                         + m_upstream->bridgeArguments() + arguments);
    // A cold view asks MusicBrainz about ten times, a second apart.
    if (!finishedSpy.wait(90000))
        player.kill();
    *exitCode = player.exitStatus() == QProcess::NormalExit ? player.exitCode() : -1;
    return QString::fromUtf8(player.readAllStandardOutput());
}

QList<Row> tst_Bridge::rows(const QString &output)
{
    static const QRegularExpression rowLine(
            QStringLiteral("^\\d\\.\t([^\t\n]*)\t([^\t\n]*)\t([^\t\n]*)$"),
            QRegularExpression::MultilineOption);
    QList<Row> found;
    for (auto match = rowLine.globalMatch(output); match.hasNext();) {
        const QRegularExpressionMatch row = match.next();
        found.append({ row.captured(1), row.captured(2), row.captured(3) });
    }
    return found;
}

BridgeOptions tst_Bridge::optionsFor(const UpstreamEmulator &upstream) const
{
    BridgeOptions options;
    options.musicBrainz = QUrl(upstream.musicBrainzRoot());
    options.listenBrainz = QUrl(upstream.listenBrainzRoot());
    options.listenBrainzLabs = QUrl(upstream.labsRoot());
    options.coverArt = QUrl(upstream.coverArtRoot());
    options.cacheFolder = m_cache->path();
    return options;
}

BridgeOptions tst_Bridge::quickOptionsFor(const UpstreamEmulator &upstream) const
{
    BridgeOptions options = optionsFor(upstream);
    options.musicBrainzIntervalMs = 20;
    options.requestDeadlineMs = 3000;
    return options;
}

int tst_Bridge::get(const BridgeServer &bridge, const QString &path, QByteArray *body)
{
    QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(bridge.baseUrl() + path)));
    QSignalSpy finishedSpy(reply, &QNetworkReply::finished);
    if (!reply->isFinished() && !finishedSpy.wait(60000))
        return -1;
    if (body)
        *body = reply->readAll();
    reply->deleteLater();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

void tst_Bridge::viewsThroughThePlugin_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("subtitles");
    QTest::addColumn<QStringList>("sides");
    QTest::addColumn<QString>("firstPage");
    // Similar artists by score, the artist itself and duplicate rows left
    // out; for each, its oldest album of its own with a cover.
    QTest::newRow("artist view")
            << QStringLiteral("artist")
            << QStringList { QStringLiteral("Brindle Moss"), QStringLiteral("Cinder Lane"),
                             QStringLiteral("Dorian Pike"), QStringLiteral("Ember Quay") }
            << QStringList { QString(), QString(), QString(), QString() }
            << QStringList { QString(), QString(), QString(), QString() }
            << "/artist/" + FirstSimilar;
    QTest::newRow("album view")
            << QStringLiteral("album")
            << QStringList { QStringLiteral("First Light"), QStringLiteral("Second Wind"),
                             QStringLiteral("Third Coast"), QStringLiteral("Fourth Wall") }
            << QStringList { QStringLiteral("Brindle Moss"), QStringLiteral("Cinder Lane"),
                             QStringLiteral("Dorian Pike"), QStringLiteral("Ember Quay") }
            << QStringList { QStringLiteral("12"), QStringLiteral("9"), QStringLiteral("8"),
                             QStringLiteral("13") }
            << QStringLiteral("/release-group/c0000000-0000-4000-8000-000000000003");
    // LB Radio's picks and each recording's credit; the panel shows a length
    // the data lacks as no time at all.
    QTest::newRow("player view")
            << QStringLiteral("player")
            << QStringList { QStringLiteral("Glass Harbour"), QStringLiteral("Paper Moons"),
                             QStringLiteral("Tidewater"), QStringLiteral("Quiet Engine") }
            << QStringList { QStringLiteral("Brindle Moss | First Light"),
                             QStringLiteral("Cinder Lane feat. Aurora Vale | Second Wind"),
                             QStringLiteral("Dorian Pike | Third Coast"),
                             QStringLiteral("Ember Quay | Fourth Wall") }
            << QStringList { QStringLiteral("04:01"), QStringLiteral("03:07"), QStringLiteral("00:00"),
                             QStringLiteral("05:02") }
            << QStringLiteral("/recording/b0000000-0000-4000-8000-000000000001");
}

void tst_Bridge::viewsThroughThePlugin()
{
    QFETCH(QString, view);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, subtitles);
    QFETCH(QStringList, sides);
    QFETCH(QString, firstPage);
    const QStringList arguments = { QStringLiteral("--view"), view, QStringLiteral("--artist"),
                                    QStringLiteral("Aurora Vale"), QStringLiteral("--print"),
                                    QStringLiteral("--screenshot"),
                                    m_cache->filePath(QStringLiteral("panel.png")) };
    int exitCode = -1;
    const QString output = runPlayer(arguments, &exitCode);
    QCOMPARE(exitCode, 0);
    const QList<Row> printed = rows(output);
    QStringList printedTitles;
    QStringList printedSubtitles;
    QStringList printedSides;
    for (const Row &row : printed) {
        printedTitles.append(row.title);
        printedSubtitles.append(row.subtitle);
        printedSides.append(row.side);
    }
    QCOMPARE(printedTitles, titles);
    QCOMPARE(printedSubtitles, subtitles);
    QCOMPARE(printedSides, sides);
    // Every row's cover came from the archive, through the bridge.
    QCOMPARE(m_upstream->count(QStringLiteral("archive")), 4);
    QVERIFY2(m_upstream->closestGapMs(QStringLiteral("musicbrainz")) >= 1000,
             qPrintable(QString::number(m_upstream->closestGapMs(QStringLiteral("musicbrainz")))));
    for (const UpstreamEmulator::Logged &entry : m_upstream->log())
        QVERIFY2(entry.userAgent.startsWith("vellora-bridge/" VELLORA_VERSION
                                            " ( tests@libvellora.example )"),
                 entry.userAgent.constData());

    // The second time costs upstream nothing; the touched row's page goes
    // to the portal of the caller's desktop, past the player's private bus.
    StandInPortal portal;
    QVERIFY(portal.registerOn(QDBusConnection::sessionBus()));
    const qsizetype asked = m_upstream->log().size();
    const QString again =
            runPlayer(arguments + QStringList { QStringLiteral("--click"), QStringLiteral("1") },
                      &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(rows(again).size(), 4);
    QCOMPARE(m_upstream->log().size(), asked);
    const QString page = m_upstream->musicBrainzRoot().chopped(5) + firstPage;
    QCOMPARE(portal.opened, QStringList { page });
    QVERIFY2(again.contains(QLatin1String("Page: ") + page + QLatin1String(" (portal)")),
             qPrintable(again));
}

void tst_Bridge::failingUpstreamIsAStoreFailure_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<UpstreamEmulator::Fault>("fault");
    QTest::newRow("search fails") << QStringLiteral("musicbrainz/artist?")
                                  << UpstreamEmulator::Fault::Fails;
    QTest::newRow("search cut") << QStringLiteral("musicbrainz/artist?")
                                << UpstreamEmulator::Fault::CutBody;
    QTest::newRow("search malformed") << QStringLiteral("musicbrainz/artist?")
                                      << UpstreamEmulator::Fault::Malformed;
    QTest::newRow("search huge") << QStringLiteral("musicbrainz/artist?")
                                 << UpstreamEmulator::Fault::Huge;
    QTest::newRow("search redirect loop") << QStringLiteral("musicbrainz/artist?")
                                          << UpstreamEmulator::Fault::RedirectLoop;
    QTest::newRow("search stalls") << QStringLiteral("musicbrainz/artist?")
                                   << UpstreamEmulator::Fault::Stall;
    // Both similarity sources gone: nothing can stand in.
    QTest::newRow("similar lists fail") << QStringLiteral("similar-artists")
                                        << UpstreamEmulator::Fault::Fails;
}

void tst_Bridge::failingUpstreamIsAStoreFailure()
{
    QFETCH(QString, path);
    QFETCH(UpstreamEmulator::Fault, fault);
    m_upstream->addFault(path, fault);
    m_upstream->addFault(QStringLiteral("lb-radio"), fault);
    int exitCode = -1;
    const QString output = runPlayer({ QStringLiteral("--view"), QStringLiteral("artist"),
                                       QStringLiteral("--artist"), QStringLiteral("Aurora Vale"),
                                       QStringLiteral("--print") },
                                     &exitCode);
    QCOMPARE(exitCode, 3);
    QVERIFY2(output.contains(QLatin1String("store failed")) || output.contains(QLatin1String("store timed out")),
             qPrintable(output));
}

void tst_Bridge::cacheAges_data()
{
    QTest::addColumn<qint64>("laterSecs");
    QTest::addColumn<int>("musicBrainz");
    QTest::addColumn<int>("labs");
    QTest::addColumn<bool>("labsFails");
    QTest::newRow("six days: all still good") << 6 * Day << 0 << 0 << false;
    QTest::newRow("eight days: the similar list again") << 8 * Day << 0 << 1 << false;
    QTest::newRow("eight days, labs failing: the old list serves") << 8 * Day << 0 << 1 << true;
    // Four release-group lists and five release lists: one artist's first album has no cover.
    QTest::newRow("31 days: the albums again") << 31 * Day << 9 << 1 << false;
}

void tst_Bridge::cacheAges()
{
    QFETCH(qint64, laterSecs);
    QFETCH(int, musicBrainz);
    QFETCH(int, labs);
    QFETCH(bool, labsFails);
    BridgeServer bridge(quickOptionsFor(*m_upstream));
    QVERIFY(bridge.start());
    const QString similar = QStringLiteral("/1.0/gb/artists/%1/similar/?itemsperpage=4").arg(Seed);
    QByteArray first;
    QCOMPARE(get(bridge, similar, &first), 200);
    QVERIFY(first.contains("Ember Quay"));

    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(laterSecs);
    bridge.cache().setClock([later] { return later; });
    if (labsFails)
        m_upstream->addFault(QStringLiteral("similar-artists"), UpstreamEmulator::Fault::Fails);
    const int musicBrainzBefore = m_upstream->count(QStringLiteral("musicbrainz"));
    const int labsBefore = m_upstream->count(QStringLiteral("labs"));
    QByteArray second;
    QCOMPARE(get(bridge, similar, &second), 200);
    QCOMPARE(second, first);
    QCOMPARE(m_upstream->count(QStringLiteral("musicbrainz")) - musicBrainzBefore, musicBrainz);
    QCOMPARE(m_upstream->count(QStringLiteral("labs")) - labsBefore, labs);
}

// One request at a time: an answer that never ends would hold every
// MusicBrainz request after it.
void tst_Bridge::tricklingAnswerFreesTheQueue()
{
    BridgeServer bridge(quickOptionsFor(*m_upstream));
    QVERIFY(bridge.start());
    m_upstream->addFault(QStringLiteral("musicbrainz/artist?query=artist:\"Nobody Here\""),
                         UpstreamEmulator::Fault::Drip);
    QNetworkReply *trickling = m_network.get(QNetworkRequest(
            QUrl(bridge.baseUrl() + QLatin1String("/1.0/gb/artists/?q=Nobody%20Here"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_upstream->count(QStringLiteral("musicbrainz")), 1, 10000);
    QByteArray body;
    QCOMPARE(get(bridge, QStringLiteral("/1.0/gb/artists/?q=Aurora%20Vale"), &body), 200);
    QVERIFY(body.contains(Seed.toLatin1()));
    QVERIFY(trickling->isFinished());
    QCOMPARE(trickling->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 502);
    delete trickling;
}

void tst_Bridge::musicBrainzInterval_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("taken"); // -1: refused
    const QString mirror = QStringLiteral("http://127.0.0.1:5000/ws/2");
    QTest::newRow("public, longer") << QString() << QStringLiteral("2000") << 2000;
    QTest::newRow("public, shorter") << QString() << QStringLiteral("1000") << -1;
    QTest::newRow("public by another name")
            << QStringLiteral("https://Beta.MusicBrainz.org/ws/2") << QStringLiteral("0") << -1;
    QTest::newRow("mirror, none") << mirror << QStringLiteral("0") << 0;
    QTest::newRow("mirror, negative") << mirror << QStringLiteral("-5") << -1;
    QTest::newRow("mirror, not a number") << mirror << QStringLiteral("1e3") << -1;
    QTest::newRow("mirror, over a minute") << mirror << QStringLiteral("60001") << -1;
}

void tst_Bridge::musicBrainzInterval()
{
    QFETCH(QString, root);
    QFETCH(QString, interval);
    QFETCH(int, taken);
    QCommandLineParser parser;
    BridgeOptions::addTo(&parser);
    QStringList arguments { QStringLiteral("vellora-bridge"),
                            QStringLiteral("--musicbrainz-interval"), interval };
    if (!root.isEmpty())
        arguments << QStringLiteral("--musicbrainz") << root;
    QVERIFY(parser.parse(arguments));
    BridgeOptions options;
    QString error;
    QCOMPARE(BridgeOptions::read(parser, &options, &error), taken >= 0);
    QCOMPARE(error.isEmpty(), taken >= 0);
    QCOMPARE(options.musicBrainzIntervalMs,
             taken >= 0 ? taken : BridgeOptions::PublicMusicBrainzIntervalMs);
}

void tst_Bridge::waitsOutBusyAnswers_data()
{
    QTest::addColumn<UpstreamEmulator::Fault>("fault");
    QTest::newRow("503 with Retry-After") << UpstreamEmulator::Fault::Unavailable;
    QTest::newRow("429 with X-RateLimit-Reset-In") << UpstreamEmulator::Fault::TooMany;
}

void tst_Bridge::waitsOutBusyAnswers()
{
    QFETCH(UpstreamEmulator::Fault, fault);
    BridgeServer bridge(optionsFor(*m_upstream));
    QVERIFY(bridge.start());
    m_upstream->addFault(QStringLiteral("musicbrainz/artist?"), fault, 1, 3);
    QByteArray body;
    QCOMPARE(get(bridge, QStringLiteral("/1.0/gb/artists/?q=Aurora%20Vale"), &body), 200);
    QVERIFY(body.contains(Seed.toLatin1()));
    QCOMPARE(m_upstream->count(QStringLiteral("musicbrainz")), 2);
    QVERIFY2(m_upstream->closestGapMs(QStringLiteral("musicbrainz")) >= 3000,
             qPrintable(QString::number(m_upstream->closestGapMs(QStringLiteral("musicbrainz")))));
}

void tst_Bridge::untrustedAnswers_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("names");
    const auto artist = [](const QByteArray &id, const QByteArray &name) {
        return "{\"id\":\"" + id + "\",\"name\":" + name + ",\"score\":90}";
    };
    const QByteArray id = "a0000000-0000-4000-8000-000000000099";
    QTest::newRow("control characters and a bidi override dropped")
            << "{\"artists\":[" + artist(id, "\"Na\\u0007me\\u202e\\u0000 X\"") + "]}"
            << QStringList { QStringLiteral("Name X") };
    QTest::newRow("id not an mbid") << "{\"artists\":[" + artist("../../etc", "\"A\"") + ","
                    + artist("A0000000-0000-4000-8000-000000000099", "\"B\"") + "]}"
                                    << QStringList();
    QTest::newRow("name of the wrong type") << "{\"artists\":[" + artist(id, "[\"A\"]") + "]}"
                                            << QStringList();
    QTest::newRow("long name cut") << "{\"artists\":[" + artist(id, '"' + QByteArray(5000, 'n') + '"')
                    + "]}" << QStringList { QString(UpstreamAnswers::MaxTextLength, QLatin1Char('n')) };
    QTest::newRow("nested 100000 deep") << "{\"artists\":" + QByteArray(100000, '[')
                    + QByteArray(100000, ']') + "}" << QStringList();
    QByteArray many = "{\"artists\":[";
    for (int i = 0; i < 1000; ++i)
        many += artist("a0000000-0000-4000-8000-" + QByteArray::number(100000000000LL + i), "\"M\"")
                + ',';
    many.chop(1);
    QTest::newRow("1000 rows, 200 read")
            << many + "]}" << QStringList(UpstreamAnswers::MaxRows, QStringLiteral("M"));
    QTest::newRow("over 2 MiB") << "{\"artists\":[" + artist(id, "\"A\"") + "]"
                    + QByteArray(UpstreamAnswers::MaxJsonBytes, ' ') + "}" << QStringList();
}

void tst_Bridge::untrustedAnswers()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, names);
    QStringList found;
    const QList<UpstreamAnswers::Artist> artists =
            UpstreamAnswers::artistSearch(json, QStringLiteral("x"));
    for (const UpstreamAnswers::Artist &artist : artists)
        found.append(artist.name);
    QCOMPARE(found, names);
}

void tst_Bridge::untrustedRecordings_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("covers");
    const auto recording = [](const QByteArray &key, const QByteArray &id) {
        return "\"" + key + "\":{\"recording\":{\"name\":\"T\"},\"release\":{\"mbid\":"
                "\"d0000000-0000-4000-8000-000000000001\",\"caa_release_mbid\":"
                "\"d0000000-0000-4000-8000-000000000001\",\"caa_id\":" + id + "}}";
    };
    const QByteArray key = "b0000000-0000-4000-8000-000000000001";
    QTest::newRow("a cover id") << "{" + recording(key, "31000000001") + "}"
                                << QStringList { QStringLiteral("31000000001") };
    QTest::newRow("a cover id that is a path")
            << "{" + recording(key, "\"1/../../x\"") + "}" << QStringList { QString() };
    QTest::newRow("a cover id past what a double holds")
            << "{" + recording(key, "1e300") + "}" << QStringList { QString() };
    QTest::newRow("a negative cover id") << "{" + recording(key, "-5") + "}"
                                         << QStringList { QString() };
    QTest::newRow("a key that is no mbid") << "{" + recording("../etc", "1") + "}" << QStringList();
}

void tst_Bridge::untrustedRecordings()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, covers);
    QStringList found;
    const QList<UpstreamAnswers::Recording> recordings = UpstreamAnswers::recordings(json);
    for (const UpstreamAnswers::Recording &recording : recordings)
        found.append(recording.coverId);
    QCOMPARE(found, covers);
}

void tst_Bridge::touchedRowOpensPage_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("page");
    const QString album = QStringLiteral("c0000000-0000-4000-8000-000000000003");
    const QString recording = QStringLiteral("b0000000-0000-4000-8000-000000000001");
    QTest::newRow("artist") << "#Artist/SolvaneSonavoAlbumViewVellora/Brindle Moss/" + FirstSimilar
                            << "/artist/" + FirstSimilar;
    QTest::newRow("more row, a name with a slash")
            << "#Artist/SolvaneSonavoNowPlayingViewVellora/AC/DC/" + Seed << "/artist/" + Seed;
    QTest::newRow("track") << "#Product/SolvaneSonavoNowPlayingViewVellora/Brindle Moss/Glass "
                              "Harbour/" + recording
                           << "/recording/" + recording;
    QTest::newRow("album") << "#Product/SolvaneSonavoSongViewVellora/Brindle Moss/First Light/"
                    + album << "/release-group/" + album;
    QTest::newRow("no mbid") << QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/X/?a=b")
                             << QString();
}

void tst_Bridge::touchedRowOpensPage()
{
    QFETCH(QString, link);
    QFETCH(QString, page);
    StandInPortal portal;
    QVERIFY(portal.registerOn(QDBusConnection::sessionBus()));
    PageOpener opener(optionsFor(*m_upstream));
    QSignalSpy pageOpenedSpy(&opener, &PageOpener::pageOpened);
    opener.open(link);
    if (page.isEmpty()) {
        QVERIFY(opener.pageFor(link).isEmpty());
        QCOMPARE(pageOpenedSpy.count(), 0);
    } else {
        QVERIFY(pageOpenedSpy.wait(10000));
        QCOMPARE(pageOpenedSpy.at(0).at(1).toBool(), true);
        QCOMPARE(portal.opened, QStringList { m_upstream->musicBrainzRoot().chopped(5) + page });
    }
}

QTEST_GUILESS_MAIN(tst_Bridge)
#include "tst_bridge.moc"
