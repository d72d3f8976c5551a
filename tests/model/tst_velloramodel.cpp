#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QMetaEnum>
#include <QIdentityProxyModel>
#include <QNetworkProxy>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "cachefolder.h"
#include "expectedrows.h"
#include "fakemodemmanager.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "storeconstants.h"
#include "storeendpoint.h"
#include "storeclientsettings.h"
#include "storefetcher.h"
#include "storefeedwriter.h"
#include "storehttprequest.h"
#include "storequeries.h"
#include "storeserver.h"
#include "testfiles.h"
#include "rowfield.h"
#include "velloramodel.h"
#include "viewnames.h"

namespace {

const int FailureDelay = 150;
const QString Token = QString::fromLatin1(StoreConstants::DefaultToken);
const QString NoMatches = QStringLiteral("qtn_musi_fetching_no_matches");

// The first argument of each emission, e.g. the flags of loadingChanged.
QVariantList firstArguments(const QSignalSpy &spy)
{
    QVariantList arguments;
    for (const QList<QVariant> &signal : spy)
        arguments << signal.at(0);
    return arguments;
}

QStringList shownRow(const VelloraModel &model, int row)
{
    QStringList fields;
    for (int field = 0; field < model.columnCount(); ++field)
        fields << model.data(model.index(row, 0), RowField::role(RowField::Field(field)))
                          .toString();
    return fields;
}

// What a list sees of the model: rows under the root only. The model
// answers every parent with its row count, which the model tester would
// take for a tree.
class FlatList : public QIdentityProxyModel
{
public:
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : QIdentityProxyModel::rowCount(parent);
    }
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override
    {
        return rowCount(parent) > 0;
    }
};

} // namespace

class tst_VelloraModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void durationText_data();
    void durationText();
    void rowFromAnswerColumns_data();
    void rowFromAnswerColumns();
    void rolesAndCounts();
    void changeImage_data();
    void changeImage();
    void loadingRestartsWithFetchingText();
    void loadingTextRepeatedSetsNoMatches();
    void clearModel_data();
    void clearModel();
    void rowLinks_data();
    void rowLinks();
    void unusableIndexSendsNothing();

    void rowsByView_data();
    void rowsByView();
    void repeatedArtistCostsNoRequest();
    void overlongArtistIsNoArtist();
    void otherArtistAbandonsRunningRequest();
    void picturesOfLeftArtistsStopDownloading();
    void fiveEntriesGiveFourRows();
    void failures_data();
    void failures();
    void failureTimerOutlivesNewDownload();
    void noInternetKeepsEverything();
    void tokenChangeRestartsWhileLoading();
    void settingsFileCreatedAfterStart();
    void directParsedCallsDoNothing_data();
    void directParsedCallsDoNothing();
    void blankTerritoryWithoutSim();
    void hostileUrlParts_data();
    void hostileUrlParts();
    void storeProtocol_data();
    void storeProtocol();

    void init();

private:
    void writeSettings(const QString &token = Token, const QVariant &territory = QVariant());
    bool startModemManager();
    QStringList requestedUrls() const;
    // The search and similar-tracks requests of each artist, in turn.
    QStringList playerChains(const QStringList &artists) const;
    // Sets the details and waits until rows are shown.
    bool fill(VelloraModel &model, const QString &artist, const QString &viewName);

    // Gives the model a view without any request: no artist, default settings.
    void enterView(VelloraModel &model, const QString &viewName);

    PanelFixture m_fixture;
    StoreServer &m_store = m_fixture.store();
    StoreFetcher m_urls;
    QString m_settingsPath;
    QByteArray m_systemBusAddress;
    std::unique_ptr<FakeModemManager> m_modemManager;
};

QStringList tst_VelloraModel::playerChains(const QStringList &artists) const
{
    QStringList urls;
    for (const QString &artist : artists) {
        urls << m_urls.artistSearchUrl(artist)
             << m_urls.similarUrl(m_store.catalog().search(artist).first()->id,
                                  QStringLiteral("tracks/"));
    }
    return urls;
}

void tst_VelloraModel::initTestCase()
{
    QVERIFY(m_fixture.start());
    m_urls.setBaseUrl(m_store.baseUrl());
    m_settingsPath = StoreClientSettings::fileName();
    m_systemBusAddress = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

bool tst_VelloraModel::startModemManager()
{
    // The private session bus doubles as the system bus that carries the modem service.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    if (m_modemManager)
        return true;
    m_modemManager = std::make_unique<FakeModemManager>();
    return m_modemManager->start(QString::fromUtf8(address)) && m_modemManager->registerService();
}

void tst_VelloraModel::init()
{
    m_fixture.reset();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_systemBusAddress);
    QFile::remove(m_settingsPath);
}

void tst_VelloraModel::writeSettings(const QString &token, const QVariant &territory)
{
    QVERIFY(StoreClientSettings::write(m_store.port(), token, territory));
}

QStringList tst_VelloraModel::requestedUrls() const
{
    QStringList urls;
    const QList<StoreRequest> log = m_store.requestLog();
    for (const StoreRequest &request : log) {
        if (request.kind != StoreRequest::Kind::Picture)
            urls << m_store.baseUrl() + request.path + QLatin1Char('?') + request.query;
    }
    return urls;
}

bool tst_VelloraModel::fill(VelloraModel &model, const QString &artist, const QString &viewName)
{
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);
    model.setDetails(artist, QStringLiteral("album"), QStringLiteral("song"),
                     QStringLiteral("genre"), viewName);
    return buttonSpy.wait(5000) && model.rowCount() > 0;
}

void tst_VelloraModel::enterView(VelloraModel &model, const QString &viewName)
{
    model.setDetails(QString(), QString(), QString(), QString(), viewName);
}

void tst_VelloraModel::durationText_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "00:00";
    QTest::newRow("minutes") << 245 << "04:05";
    QTest::newRow("last-short") << 3599 << "59:59";
    QTest::newRow("one-hour") << 3600 << "1:00:00";
    QTest::newRow("hour-minutes") << 3725 << "1:02:05";
    QTest::newRow("wraps-after-a-day") << 90000 << "1:00:00";
}

void tst_VelloraModel::durationText()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    VelloraModel model;
    QCOMPARE(model.convertSecondsToString(seconds), text);
}

void tst_VelloraModel::rowFromAnswerColumns_data()
{
    using StoreQueries::Similar;
    QTest::addColumn<Similar>("kind");
    QTest::addColumn<QStringList>("entry"); // a value per column, in the set's order
    QTest::addColumn<QStringList>("row"); // by RowField
    QTest::newRow("track") << Similar::Tracks
                           << QStringList { "Song", "Ann", "Al", "245", "pic", "t1", "Ann" }
                           << QStringList { "Song", "Ann | Al", "04:05", "pic", "t1", "Ann" };
    QTest::newRow("track, length not a number")
            << Similar::Tracks << QStringList { "Song", "Ann", "Al", "4m", "pic", "t1", "Ann" }
            << QStringList { "Song", "Ann | Al", "00:00", "pic", "t1", "Ann" };
    QTest::newRow("album") << Similar::Albums << QStringList { "Al", "Ann", "12", "pic", "a1" }
                           << QStringList { "Al", "Ann", "12", "pic", "a1" };
    QTest::newRow("artist") << Similar::Artists << QStringList { "Ann", "", "", "pic", "r1" }
                            << QStringList { "Ann", "", "", "pic", "r1" };
}

// Each field comes from its column by name: a column the set gains ahead of
// the others moves nothing.
void tst_VelloraModel::rowFromAnswerColumns()
{
    QFETCH(StoreQueries::Similar, kind);
    QFETCH(QStringList, entry);
    QFETCH(QStringList, row);
    StoreQueries::QuerySet set = StoreQueries::similarItems(kind);
    QCOMPARE(entry.size(), set.columns.size());
    QCOMPARE(StoreQueries::rowOf(set, entry), row);
    set.columns.prepend(QStringLiteral("added"));
    entry.prepend(QStringLiteral("new column"));
    QCOMPARE(StoreQueries::rowOf(set, entry), row);
}

void tst_VelloraModel::rolesAndCounts()
{
    VelloraModel model;
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.data(model.index(0, 0), RowField::role(RowField::Title)).isValid());

    const QStringList player {
        "Title", "Artist | Album", "04:05", "http://pic/1", "tr1", "Artist"
    };
    model.insertData(0, player);
    model.insertData(1, { "Short", "A | B" });
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.index(1, 0)), 2);
    QCOMPARE(model.columnCount(), 6);

    for (int field = 0; field < player.size(); ++field)
        QCOMPARE(model.data(model.index(0, 3), RowField::role(RowField::Field(field))).toString(),
                 player.at(field));
    QVERIFY(!model.data(model.index(0, 0), Qt::DisplayRole).isValid());
    QVERIFY(!model.data(model.index(0, 0), RowField::role(RowField::TrackArtist) + 1).isValid());
    QVERIFY(!model.data(model.index(2, 0), RowField::role(RowField::Title)).isValid());
    QVERIFY(!model.data(QModelIndex(), RowField::role(RowField::Title)).isValid());
    QVERIFY(!model.data(model.index(1, 0), RowField::role(RowField::SideText)).isValid());
    QCOMPARE(model.data(model.index(1, 0), RowField::role(RowField::Subtitle)).toString(),
             QStringLiteral("A | B"));
}

void tst_VelloraModel::changeImage_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QList<int>>("changedRows");
    const QStringList shared { "http://pic/own", "http://pic/shared", "http://pic/other",
                               "http://pic/shared" };
    QTest::newRow("no-row-carries-it") << shared << "http://pic/none" << QList<int>();
    QTest::newRow("two-rows-share-it") << shared << "http://pic/shared" << QList<int> { 1, 3 };
    QTest::newRow("four-rows-share-it") << QStringList(4, "http://pic/album") << "http://pic/album"
                                        << QList<int> { 0, 1, 2, 3 };
    const QStringList nested { "http://pic/a.jpg?size=100", "http://pic/a.jpg",
                               "http://pic/a.jpg#x" };
    QTest::newRow("nested-shorter-link") << nested << "http://pic/a.jpg" << QList<int> { 1 };
    QTest::newRow("nested-longer-link")
            << nested << "http://pic/a.jpg?size=100" << QList<int> { 0 };
    QTest::newRow("part-of-a-link") << nested << "pic/a.jpg" << QList<int>();
}

void tst_VelloraModel::changeImage()
{
    QFETCH(QStringList, pictures);
    QFETCH(QString, from);
    QFETCH(QList<int>, changedRows);
    const QString path = QStringLiteral("/cache/picture.jpeg");
    VelloraModel model;
    for (int row = 0; row < pictures.size(); ++row)
        model.insertData(row, { "t", "s", "d", pictures.at(row), "id" });
    QSignalSpy dataChangedSpy(&model, &QAbstractItemModel::dataChanged);

    model.changeImage(from, path);

    QStringList expected = pictures;
    for (int row : changedRows)
        expected[row] = path;
    QStringList shown;
    for (int row = 0; row < pictures.size(); ++row)
        shown << model.data(model.index(row, 0), RowField::role(RowField::Picture)).toString();
    QCOMPARE(shown, expected);
    QList<int> reported;
    for (const QList<QVariant> &signal : std::as_const(dataChangedSpy)) {
        for (int row = signal.at(0).toModelIndex().row(); row <= signal.at(1).toModelIndex().row();
             ++row)
            reported << row;
    }
    QCOMPARE(reported, changedRows);
}

void tst_VelloraModel::loadingRestartsWithFetchingText()
{
    VelloraModel model;
    const QString fetching = model.loadingText();
    model.setLoading(true);
    model.setLoadingText(QStringLiteral("qtn_musi_fetching_no_matches"));
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QSignalSpy textSpy(&model, &VelloraModel::loadingTextChanged);

    model.setLoading(true);

    QCOMPARE(model.loadingText(), fetching);
    QCOMPARE(textSpy.count(), 1);
    QCOMPARE(loadingSpy.count(), 0);
}

void tst_VelloraModel::loadingTextRepeatedSetsNoMatches()
{
    // The no-matches flag shows up as a stopped chain: after the text was set
    // a second time, details for no artist in the same view change nothing.
    VelloraModel model;
    enterView(model, ViewNames::Player);
    QSignalSpy textSpy(&model, &VelloraModel::loadingTextChanged);
    model.setLoadingText(model.loadingText());
    QCOMPARE(textSpy.count(), 0);
    model.setLoadingText(QStringLiteral("qtn_musi_fetching_no_matches"));
    QCOMPARE(textSpy.count(), 1);

    model.setButtonVisible(true);
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);
    model.setDetails(QString(), QString(), QString(), QString(), ViewNames::Player);
    QCOMPARE(buttonSpy.count(), 0);

    model.setDetails(QString(), QString(), QString(), QString(), ViewNames::Album);
    QCOMPARE(buttonSpy.count(), 1);
}

void tst_VelloraModel::clearModel_data()
{
    QTest::addColumn<int>("rows");
    // First and last row of each removal reported.
    QTest::addColumn<QVariantList>("removed");
    QTest::newRow("empty") << 0 << QVariantList();
    QTest::newRow("filled") << 4 << QVariantList { 0, 3 };
}

void tst_VelloraModel::clearModel()
{
    QFETCH(int, rows);
    QFETCH(QVariantList, removed);
    VelloraModel model;
    FlatList list;
    list.setSourceModel(&model);
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int row = 0; row < rows; ++row)
        model.insertData(row, { "t", "s", "d", "http://pic", "id" });
    model.setLoading(true);
    model.setButtonVisible(true);
    QSignalSpy removedSpy(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);

    model.clearModel();

    QVariantList ranges;
    for (const QList<QVariant> &signal : std::as_const(removedSpy))
        ranges << signal.at(1) << signal.at(2);
    QCOMPARE(ranges, removed);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(firstArguments(loadingSpy), QVariantList { false });
    QCOMPARE(firstArguments(buttonSpy), QVariantList { false });
}

void tst_VelloraModel::rowLinks_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("debugLine");
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/row-links.tsv"))) {
        QTest::newRow(qPrintable(row["tag"]))
                << row["view"] << row["row"].split(QStringLiteral(" ; ")) << row["link"]
                << row["debug line"];
    }
}

void tst_VelloraModel::rowLinks()
{
    QFETCH(QString, viewName);
    QFETCH(QStringList, row);
    QFETCH(QString, link);
    QFETCH(QString, debugLine);
    VelloraModel model;
    enterView(model, viewName);
    model.insertData(0, { "first", "", "", "", "0", "" });
    model.insertData(1, row);
    m_fixture.storeClient().clear();

    QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^PromotionLauncherPrivate::launchInMusicStoreClient"));
    model.onPromotionClicked(model.index(1, 0));

    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0), link);
}

void tst_VelloraModel::unusableIndexSendsNothing()
{
    VelloraModel model;
    enterView(model, ViewNames::Player);
    model.insertData(0, { "Song", "A | B", "01:00", "http://pic", "tr1", "A" });
    m_fixture.storeClient().clear();

    model.onPromotionClicked(QModelIndex());
    model.onPromotionClicked(model.index(1, 0));
    model.onPromotionClicked(model.index(-1, 0));
    // A launch that does go out afterwards shows that none went before it.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^VelloraModel::onPromotionClicked"));
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^PromotionLauncherPrivate::launchInMusicStoreClient"));
    model.onPromotionClicked(model.index(0, 0));

    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0),
             QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/A/Song/tr1"));
}

void tst_VelloraModel::rowsByView_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("similarPath");
    QTest::addColumn<QString>("storePrefix");
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/rows-by-view.tsv")))
        QTest::newRow(qPrintable(row["tag"])) << row["view"] << row["artist"] << row["query"]
                                              << row["similar path"] << row["store prefix"];
}

void tst_VelloraModel::rowsByView()
{
    QFETCH(QString, viewName);
    QFETCH(QString, artist);
    QFETCH(QString, query);
    QFETCH(QString, similarPath);
    QFETCH(QString, storePrefix);
    writeSettings();
    VelloraModel model;
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QVERIFY(fill(model, artist, viewName));

    const StoreArtist *found = m_store.catalog().search(artist).first();
    QCOMPARE(requestedUrls(),
             QStringList() << m_store.baseUrl() + QStringLiteral("/1.0/gb/artists/?") + query
                             + QStringLiteral("&token=") + Token
                           << m_urls.similarUrl(found->id, similarPath));
    QCOMPARE(firstArguments(loadingSpy), (QVariantList { true, false }));
    const QList<ExpectedRow> expected = expectedRows(m_store.catalog(), viewName, *found);
    QCOMPARE(model.rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row)
        QCOMPARE(shownRow(model, row), expected.at(row).modelFields(m_store.baseUrl()));

    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("VelloraModel::onButtonClicked() \"%1\" \"%2\"")
                                            .arg(artist, found->id)));
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^PromotionLauncherPrivate::launchInMusicStoreClient"));
    model.onButtonClicked();
    QTRY_COMPARE(m_fixture.storeClient().links(),
                 QStringList { storePrefix + artist + QLatin1Char('/') + found->id });
}

void tst_VelloraModel::repeatedArtistCostsNoRequest()
{
    writeSettings();
    StoreFault slow(StoreFault::Kind::Delay, QStringLiteral("/artists/"));
    slow.delayMs = 500;
    m_store.addFault(slow);
    VelloraModel model;
    QSignalSpy requestSpy(&m_store, &StoreServer::requestReceived);
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);
    model.setDetails(QStringLiteral("Daft Punk"), QStringLiteral("a"), QStringLiteral("1"),
                     QString(), ViewNames::Player);
    QVERIFY(requestSpy.wait(5000));
    // Once while the search runs, once with the rows shown.
    model.setDetails(QStringLiteral("Daft Punk"), QStringLiteral("b"), QStringLiteral("2"),
                     QString(), ViewNames::Player);
    QVERIFY(buttonSpy.wait(5000));
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removedSpy(&model, &QAbstractItemModel::rowsRemoved);
    model.setDetails(QStringLiteral("Daft Punk"), QStringLiteral("c"), QStringLiteral("3"),
                     QString(), ViewNames::Player);
    // The store answers one request at a time in order, so a request of the
    // first model would come before those of the second.
    VelloraModel other;
    QVERIFY(fill(other, QStringLiteral("Kraftwerk"), ViewNames::Player));

    QCOMPARE(requestedUrls(),
             playerChains({ QStringLiteral("Daft Punk"), QStringLiteral("Kraftwerk") }));
    QCOMPARE(resetSpy.count() + removedSpy.count(), 0);
    QCOMPARE(model.rowCount(), 4);
}

void tst_VelloraModel::overlongArtistIsNoArtist()
{
    writeSettings();
    VelloraModel model;
    QVERIFY(fill(model, QStringLiteral("Daft Punk"), ViewNames::Player));
    // A followed player once handed over 40 MB, all of it bound for the search URL.
    model.setDetails(QString(1025, QLatin1Char('x')), QString(), QString(), QString(),
                     ViewNames::Player);
    QCOMPARE(model.rowCount(), 0);
    VelloraModel other;
    QVERIFY(fill(other, QStringLiteral("Kraftwerk"), ViewNames::Player));

    QCOMPARE(requestedUrls(),
             playerChains({ QStringLiteral("Daft Punk"), QStringLiteral("Kraftwerk") }));
}

void tst_VelloraModel::otherArtistAbandonsRunningRequest()
{
    writeSettings();
    StoreFault slow(StoreFault::Kind::Stall, QStringLiteral("/artists/"));
    m_store.addFault(slow);
    VelloraModel model;
    QSignalSpy requestSpy(&m_store, &StoreServer::requestReceived);
    model.setDetails(QStringLiteral("Miles Davis"), QString(), QString(), QString(),
                     ViewNames::Album);
    QVERIFY(requestSpy.wait(5000));
    model.setDetails(QStringLiteral("Miles Davis"), QStringLiteral("Kind"), QString(), QString(),
                     ViewNames::Album);

    QVERIFY(fill(model, QStringLiteral("Nina Simone"), ViewNames::Album));

    const QString nina = m_store.catalog().search(QStringLiteral("Nina Simone")).first()->id;
    QCOMPARE(requestedUrls(),
             QStringList() << m_urls.artistSearchUrl(QStringLiteral("Miles Davis"))
                           << m_urls.artistSearchUrl(QStringLiteral("Nina Simone"))
                           << m_urls.similarUrl(nina, QStringLiteral("albums/")));
    QCOMPARE(model.data(model.index(0, 0), RowField::role(RowField::Subtitle)).toString().isEmpty(),
             false);
}

void tst_VelloraModel::picturesOfLeftArtistsStopDownloading()
{
    writeSettings();
    // A slow network: every picture comes a byte at a time until the faults are cleared.
    StoreFault drip(StoreFault::Kind::Drip, QStringLiteral("/pictures/"));
    drip.times = 0;
    m_store.addFault(drip);
    PromotionNetworkAPI *service = PromotionNetworkAPI::instance();
    VelloraModel model;
    // The list asks for the picture of every row it shows.
    const auto showPictures = [&model, service] {
        QStringList urls;
        for (int row = 0; row < model.rowCount(); ++row)
            urls << model.data(model.index(row, 0), RowField::role(RowField::Picture)).toString();
        urls.removeDuplicates();
        for (const QString &url : std::as_const(urls))
            service->getArtOfMusicItem(url);
        return urls;
    };
    // Two artists left behind hold more pictures than the six connections to
    // one host: unless the old ones are dropped, the new ones are never even asked for.
    int requested = 0;
    for (const QString &artist : { QStringLiteral("The Beatles"), QStringLiteral("Daft Punk") }) {
        QVERIFY(fill(model, artist, ViewNames::Player));
        requested += int(showPictures().size());
        QTRY_COMPARE(m_store.requestCount(StoreRequest::Kind::Picture), requested);
    }
    m_store.clearFaults();

    QSignalSpy imageSpy(service, &PromotionNetworkAPI::imageDownloaded);
    QVERIFY(fill(model, QStringLiteral("Nina Simone"), ViewNames::Player));
    const QStringList current = showPictures();
    QVERIFY(!current.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(imageSpy.count(), current.size(), 10000);
    for (const QList<QVariant> &arguments : std::as_const(imageSpy))
        QVERIFY(current.contains(arguments.at(0).toString()));
}

void tst_VelloraModel::fiveEntriesGiveFourRows()
{
    writeSettings();
    StoreFault extra(StoreFault::Kind::ExtraEntries, QStringLiteral("/similar/"));
    extra.extraEntries = 1;
    m_store.addFault(extra);
    VelloraModel model;
    QSignalSpy insertedSpy(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(fill(model, QStringLiteral("John Coltrane"), ViewNames::Player));

    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(insertedSpy.count(), 4);
    for (int row = 0; row < 4; ++row)
        QCOMPARE(insertedSpy.at(row).at(1).toInt(), row);
}

void tst_VelloraModel::failures_data()
{
    QTest::addColumn<QString>("artist");
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QString>("debugLine");
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<int>("similarRequests");

    const QMetaEnum kinds = QMetaEnum::fromType<StoreFault::Kind>();
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/failures.tsv"))) {
        const int kind = kinds.keyToValue(row["kind"].toLatin1().constData());
        QVERIFY2(kind >= 0, qPrintable(row["kind"]));
        QTest::newRow(qPrintable(row["tag"]))
                << row["artist"] << StoreFault(StoreFault::Kind(kind), row["path"])
                << row["debug line"]
                << (row["catalog"] == QLatin1String("built-in")
                            ? StoreCatalog::builtInFileName()
                            : QStringLiteral(TEST_DATA "/") + row["catalog"])
                << row["similar requests"].toInt();
    }
}

void tst_VelloraModel::failures()
{
    QFETCH(QString, artist);
    QFETCH(StoreFault, fault);
    QFETCH(QString, debugLine);
    QFETCH(QString, catalog);
    QFETCH(int, similarRequests);
    QString error;
    QVERIFY2(m_store.loadCatalog(catalog, &error), qPrintable(error));
    const auto restoreCatalog =
            qScopeGuard([this] { m_store.loadCatalog(StoreCatalog::builtInFileName()); });
    writeSettings();
    m_store.addFault(fault);
    VelloraModel model;
    model.setFailureDelay(FailureDelay);
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(debugLine));
    model.setDetails(artist, QString(), QString(), QString(), ViewNames::Player);
    QTRY_COMPARE(model.loadingText(), NoMatches);
    // The no-matches text is shown while the loading row stays up.
    QCOMPARE(firstArguments(loadingSpy), QVariantList { true });
    QVERIFY(loadingSpy.wait(5000));
    QCOMPARE(firstArguments(loadingSpy), (QVariantList { true, false }));
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(buttonSpy.count(), 0);
    QCOMPARE(m_store.requestCount(StoreRequest::Kind::SimilarTracks), similarRequests);

    // The failed answers were forgotten, so trying again goes to the store.
    const int searches = m_store.requestCount(StoreRequest::Kind::ArtistSearch);
    // The retry is stopped at its first request, so that nothing of it can
    // reach the store, and take a fault of the next test, after this one ends.
    connect(&m_store, &StoreServer::requestReceived, &model, [&model] { model.clearModel(); });
    model.setDetails(artist, QString(), QString(), QString(), ViewNames::Player);
    QTRY_COMPARE(m_store.requestCount(StoreRequest::Kind::ArtistSearch), searches + 1);
}

void tst_VelloraModel::failureTimerOutlivesNewDownload()
{
    writeSettings();
    m_store.addFault(StoreFault(StoreFault::Kind::Status, QStringLiteral("/artists/")));
    VelloraModel model;
    // Longer than the next search takes to start (its fetch delay is 300 ms).
    model.setFailureDelay(1500);
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^VelloraModel::onErrorOccurred"));
    model.setDetails(QStringLiteral("Erik Satie"), QString(), QString(), QString(),
                     ViewNames::Player);
    QTRY_COMPARE(model.loadingText(), NoMatches);

    // The next artist's search never answers; the earlier failure still ends
    // the loading state while it runs.
    m_store.addFault(StoreFault(StoreFault::Kind::Stall, QStringLiteral("/artists/")));
    QSignalSpy textSpy(&model, &VelloraModel::loadingTextChanged);
    model.setDetails(QStringLiteral("Tinariwen"), QString(), QString(), QString(),
                     ViewNames::Player);
    QTRY_COMPARE(m_store.requestCount(StoreRequest::Kind::ArtistSearch), 2);
    QTRY_COMPARE(loadingSpy.count(), 4);
    QCOMPARE(loadingSpy.at(1).at(0).toBool(), false);
    QCOMPARE(loadingSpy.at(2).at(0).toBool(), true);
    QCOMPARE(loadingSpy.at(3).at(0).toBool(), false);
    QVERIFY(textSpy.count() >= 1);
    QVERIFY(model.loadingText() != NoMatches);
    QCOMPARE(model.rowCount(), 0);
}

void tst_VelloraModel::noInternetKeepsEverything()
{
    writeSettings();
    const QString artist = QStringLiteral("Aphex Twin");
    const QString id = m_store.catalog().search(artist).first()->id;
    {
        VelloraModel first;
        QVERIFY(fill(first, artist, ViewNames::Album));
    }
    // The search is answered from the cache, the similar items need the network.
    PromotionNetworkAPI::instance()->releaseCache(m_urls.similarUrl(id, QStringLiteral("albums/")));
    m_store.clearRequestLog();
    m_fixture.bearer().setOnline(false);

    VelloraModel model;
    model.setFailureDelay(FailureDelay);
    QSignalSpy noInternetSpy(&model, &VelloraModel::noInternetConnectionError);
    QSignalSpy textSpy(&model, &VelloraModel::loadingTextChanged);
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QTest::ignoreMessage(QtDebugMsg,
                         "VelloraModel::onErrorOccurred() \"NO_INTERNET_CONNECTION\" 0");
    model.setDetails(artist, QString(), QString(), QString(), ViewNames::Album);
    QVERIFY(noInternetSpy.wait(5000));
    QCOMPARE(textSpy.count(), 0);
    QCOMPARE(loadingSpy.count(), 0);

    // The artist and its id were kept: the same details ask only for the
    // similar items. Their failure drops no answer this request did not fetch,
    // so the search is still answered from the cache after it.
    m_fixture.bearer().setOnline(true);
    m_store.addFault(StoreFault(StoreFault::Kind::Status, QStringLiteral("/similar/")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^VelloraModel::onErrorOccurred.* 401$"));
    model.setDetails(artist, QString(), QString(), QString(), ViewNames::Album);
    QTRY_COMPARE(model.loadingText(), NoMatches);
    QVERIFY(fill(model, artist, ViewNames::Album));
    QCOMPARE(m_store.requestCount(StoreRequest::Kind::ArtistSearch), 0);
    QCOMPARE(m_store.requestCount(StoreRequest::Kind::SimilarAlbums), 2);
}

void tst_VelloraModel::tokenChangeRestartsWhileLoading()
{
    writeSettings();
    StoreFault slow(StoreFault::Kind::Delay, QStringLiteral("/similar/"));
    slow.delayMs = 60000;
    m_store.addFault(slow);
    VelloraModel model;
    QSignalSpy loadingSpy(&model, &VelloraModel::loadingChanged);
    QSignalSpy requestSpy(&m_store, &StoreServer::requestReceived);
    model.setDetails(QStringLiteral("Pink Floyd"), QString(), QString(), QString(),
                     ViewNames::Player);
    QTRY_COMPARE(m_store.requestCount(StoreRequest::Kind::SimilarTracks), 1);
    QCOMPARE(loadingSpy.count(), 1);

    const QString newToken = QStringLiteral("token-after-sign-in");
    m_store.setToken(newToken);
    m_store.clearRequestLog();
    QSignalSpy removedSpy(&model, &QAbstractItemModel::rowsRemoved);
    writeSettings(newToken);

    const QString id = m_store.catalog().search(QStringLiteral("Pink Floyd")).first()->id;
    QTRY_COMPARE(model.rowCount(), 4);
    QCOMPARE(requestedUrls(),
             QStringList() << m_urls.artistSearchUrl(QStringLiteral("Pink Floyd"), newToken)
                           << m_urls.similarUrl(id, QStringLiteral("tracks/"), 4, newToken));
    QCOMPARE(loadingSpy.count(), 2);
    QCOMPARE(loadingSpy.at(1).at(0).toBool(), false);

    // The settings are saved as a new file renamed over the old one; the
    // watch survives that and follows the next change too.
    const QString lastToken = QStringLiteral("token-after-second-sign-in");
    m_store.setToken(lastToken);
    m_store.clearRequestLog();
    writeSettings(lastToken);
    QTRY_COMPARE(requestedUrls(),
                 QStringList() << m_urls.artistSearchUrl(QStringLiteral("Pink Floyd"), lastToken)
                               << m_urls.similarUrl(id, QStringLiteral("tracks/"), 4, lastToken));
    QTRY_COMPARE(model.rowCount(), 4);
}

void tst_VelloraModel::settingsFileCreatedAfterStart()
{
    QDir(QFileInfo(m_settingsPath).absolutePath()).removeRecursively();
    VelloraModel model;
    enterView(model, ViewNames::Artist);

    writeSettings();
    const auto watcher = model.findChild<QFileSystemWatcher *>();
    QVERIFY(watcher);
    QTRY_VERIFY(watcher->files().contains(m_settingsPath));

    // The new file's store is used without any further reading.
    QVERIFY(fill(model, QStringLiteral("Tinariwen"), ViewNames::Artist));
    QCOMPARE(requestedUrls().first(), m_urls.artistSearchUrl(QStringLiteral("Tinariwen")));
}

void tst_VelloraModel::directParsedCallsDoNothing_data()
{
    // The request the store holds, so that the chain waits at its step while
    // the parser still holds the previous artist's answer.
    QTest::addColumn<QString>("heldPath");
    QTest::newRow("search") << QStringLiteral("/artists/");
    QTest::newRow("similar") << QStringLiteral("/similar/");
}

void tst_VelloraModel::directParsedCallsDoNothing()
{
    QFETCH(QString, heldPath);
    writeSettings();
    VelloraModel model;
    QVERIFY(fill(model, QStringLiteral("Miles Davis"), ViewNames::Artist));
    m_store.addFault(StoreFault(StoreFault::Kind::Hold, heldPath));
    const QString artist = QStringLiteral("The Cure");
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);
    model.setDetails(artist, QString(), QString(), QString(), ViewNames::Artist);
    QTRY_COMPARE(m_store.heldCount(), 1);
    QSignalSpy textSpy(&model, &VelloraModel::loadingTextChanged);

    model.onArtistXmlParsed();
    model.onPromotiontXmlParsed();
    model.onTerritoryXmlParsed();
    m_store.releaseHeld();

    QVERIFY(buttonSpy.wait(5000));
    QCOMPARE(firstArguments(buttonSpy), (QVariantList { false, true }));
    QCOMPARE(textSpy.count(), 0);
    const StoreArtist *found = m_store.catalog().search(artist).first();
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.data(model.index(row, 0), RowField::role(RowField::Title)).toString();
    QCOMPARE(titles, expectedTitles(m_store.catalog(), ViewNames::Artist, *found));
}

void tst_VelloraModel::blankTerritoryWithoutSim()
{
    writeSettings(Token, QStringLiteral("  "));
    VelloraModel model;
    QTest::ignoreMessage(QtDebugMsg, "loadSondrelSettings() mcc \"\"");
    QTest::ignoreMessage(QtDebugMsg, "Unable to get code from SIM, using gb!");
    QVERIFY(fill(model, QStringLiteral("Sigur Rós"), ViewNames::Artist));

    QCOMPARE(m_store.requestCount(StoreRequest::Kind::Territory), 0);
    QCOMPARE(requestedUrls().first(), m_urls.artistSearchUrl(QStringLiteral("Sigur Rós")));
}

void tst_VelloraModel::hostileUrlParts_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QVariant>("territory");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("id");
    // Requests as a proxy sees them, after the fixed prefix "http://".
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("debugLine");

    // The table writes a tab as a backslash and a "t".
    const TestFiles::Placeholders placeholders {
        { QStringLiteral("\\t"), QStringLiteral("\t") },
        { QStringLiteral("{host}"), QStringLiteral("store.invalid:8080") },
        { QStringLiteral("{default-host}"), QString::fromLatin1(StoreConstants::DefaultHost) },
        { QStringLiteral("{token}"), Token },
        { QStringLiteral("{lookup}"),
          QStringLiteral("/?useip=true&storeconfig=false&format=xml&mcc=244&token=") },
        { QStringLiteral("{search}"), QStringLiteral("/artists/?q=Kino&token=") },
        { QStringLiteral("{similar}"), QStringLiteral("/similar/?itemsperpage=4&token=") },
    };
    const QString failed = QStringLiteral("^VelloraModel::onErrorOccurred\\(\\) ");
    const auto debugLine = [&failed](const QString &word, const QString &host) {
        if (word == QLatin1String("failed"))
            return failed;
        if (word == QLatin1String("no-id"))
            return failed + QStringLiteral("\"empty artist id\"");
        if (word == QLatin1String("refused"))
            return QStringLiteral("^VelloraModel::loadSondrelSettings\\(\\) - refused host ")
                    + QRegularExpression::escape(QLatin1Char('"') + host + QLatin1Char('"'))
                    + QLatin1Char('$');
        return QStringLiteral("^void VelloraModel::onTerritoryXmlParsed\\(\\)  - "
                              "m_territoryCode ==  \"")
                + word.section(QLatin1Char(' '), 1) + QStringLiteral("\"$");
    };

    for (const TestFiles::TableRow &fields :
         TestFiles::table(QStringLiteral(TEST_DATA "/hostile-url-parts.tsv"), placeholders)) {
        QTest::newRow(qPrintable(fields["row"]))
                << fields["host"] << QVariant(fields["territory"]) << fields["version"]
                << fields["token"] << fields["country"] << fields["id"]
                << fields["requests"].split(QStringLiteral(" ; "))
                << debugLine(fields["debug"], fields["host"]);
    }
}

void tst_VelloraModel::hostileUrlParts()
{
    QFETCH(QString, host);
    QFETCH(QVariant, territory);
    QFETCH(QString, version);
    QFETCH(QString, token);
    QFETCH(QString, country);
    QFETCH(QString, id);
    QFETCH(QStringList, requests);
    QFETCH(QString, debugLine);
    QVERIFY(startModemManager());

    // Every request reaches the fixture as a proxy request, whatever host it names.
    StoreServer proxy;
    QVERIFY(proxy.start());
    StoreArtist artist;
    artist.id = id;
    artist.name = QStringLiteral("Kino");
    const StoreFeedWriter writer(QStringLiteral("http://store.invalid"));
    proxy.setHandler(QString(), [&](const StoreHttpRequest &request) {
        const QString target = request.url.toString(QUrl::FullyEncoded);
        StoreServer::Answer reply { 404, "application/atom+xml", {}, {} };
        if (target.contains(QLatin1String("useip=true")))
            reply = { 200, "application/atom+xml", writer.serviceDocument(country, QString()), {} };
        else if (target.contains(QLatin1String("/artists/?q=")))
            reply = {
                200, "application/atom+xml", writer.artistSearchFeed(artist.name, { &artist }), {}
            };
        return reply;
    });
    QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), proxy.port()));
    const auto noProxy =
            qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });

    QVERIFY(StoreClientSettings::write(0, token, territory));
    QSettings settings(QStringLiteral("Corvex"), QStringLiteral("Sondrel"));
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/host"), host);
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/version"), version);
    settings.sync();

    VelloraModel model;
    model.setFailureDelay(FailureDelay);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(debugLine));
    model.setDetails(artist.name, QString(), QString(), QString(), ViewNames::Artist);
    QTRY_COMPARE(model.loadingText(), NoMatches);

    QStringList seen;
    const QList<StoreRequest> received = proxy.requestLog();
    for (const StoreRequest &request : received)
        seen << QString(request.url).remove(0, 7);
    QCOMPARE(seen, requests);
}

void tst_VelloraModel::storeProtocol_data()
{
    QTest::addColumn<QVariant>("protocol"); // invalid: not in the file
    QTest::addColumn<QString>("baseUrl");
    const QString store = QStringLiteral("://store.invalid:8080");
    // An https store once fell back to http, and the token travelled in clear.
    QTest::newRow("https") << QVariant(QStringLiteral("https")) << QLatin1String("https") + store;
    QTest::newRow("https in capitals")
            << QVariant(QStringLiteral("HTTPS")) << QLatin1String("HTTPS") + store;
    QTest::newRow("http") << QVariant(QStringLiteral("http")) << QLatin1String("http") + store;
    QTest::newRow("missing") << QVariant() << QLatin1String("http") + store;
    QTest::newRow("another scheme")
            << QVariant(QStringLiteral("ftp")) << QLatin1String("http") + store;
    QTest::newRow("a scheme with a host")
            << QVariant(QStringLiteral("x://evil/?")) << QLatin1String("http") + store;
}

void tst_VelloraModel::storeProtocol()
{
    QFETCH(QVariant, protocol);
    QFETCH(QString, baseUrl);
    const QString file = QDir::homePath() + QStringLiteral("/protocol.conf");
    QFile::remove(file);
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/host"),
                          QStringLiteral("store.invalid:8080"));
        if (protocol.isValid())
            settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/protocol"),
                              protocol);
    }
    QCOMPARE(StoreEndpoint::read(file).baseUrl, baseUrl);
}

QTEST_MAIN(tst_VelloraModel)
#include "tst_velloramodel.moc"
