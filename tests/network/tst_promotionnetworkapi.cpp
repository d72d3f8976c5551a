#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVersionNumber>
#include <QtTest>

#include <memory>

#include "cachefolder.h"
#include "filesizelimit.h"
#include "messagerecorder.h"
#include "environmentproxyfactory.h"
#include "promotionnetworkapi.h"
#include "simulatedbearerbackend.h"
#include "storehttprequest.h"
#include "storeserver.h"
#include "testfiles.h"

using Kind = StoreFault::Kind;

// A file planted in the cache before the service starts.
struct Planted
{
    QString kind; // "queries" or "images"
    QString name;
    int ageHours;
    qint64 size;
    bool kept;
};
Q_DECLARE_METATYPE(QList<Planted>)

namespace {

// Planted cache files are told apart from an empty one.
const QByteArray Missing = "<missing>";

StoreServer::Answer answerWith(const QByteArray &body)
{
    return { 200, "application/atom+xml", body, {} };
}

StoreFault fault(Kind kind, const QString &path, int times = 1)
{
    StoreFault result(kind, path);
    result.times = times;
    return result;
}

QList<int> idsOf(const QSignalSpy &spy)
{
    QList<int> ids;
    for (const QList<QVariant> &arguments : spy)
        ids.append(arguments.at(0).toInt());
    return ids;
}

// A bitmap header that claims side x side pixels and carries no pixels.
// A whole GIF of one colour that claims the size given: 35 bytes.
QByteArray gifClaiming(const QSize &size)
{
    const auto le16 = [](int value) {
        const char bytes[] = { char(value & 0xff), char(value >> 8) };
        return QByteArray(bytes, 2);
    };
    return "GIF89a" + le16(size.width()) + le16(size.height())
            + QByteArray::fromHex("800000ff000000 00ff2c00000000") + le16(size.width())
            + le16(size.height()) + QByteArray::fromHex("000202440100") + ";";
}

QByteArray bitmapHeader(quint32 side)
{
    QByteArray bytes(54, '\0');
    auto put32 = [&bytes](int offset, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = char((value >> (8 * i)) & 0xff);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, side);
    put32(22, side);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

// Names the configuration that the platform currently prefers and remembers
// the configurations that sessions were opened for.
class SwitchingBearerBackend : public SimulatedBearerBackend
{
public:
    NetworkConfiguration defaultConfiguration() const override
    {
        return NetworkConfiguration(preferred);
    }
    bool openSession(const NetworkConfiguration &configuration, const QVariantMap &properties,
                     int msecs) override
    {
        openedFor.append(configuration.identifier());
        return SimulatedBearerBackend::openSession(configuration, properties, msecs);
    }

    QString preferred = QStringLiteral("wlan");
    QStringList openedFor;
};

const char *const proxyVariables[] = { "http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY" };

// Variables to set, as a table writes them: " ; " between them.
QByteArrayList environmentOf(const QString &entries)
{
    QByteArrayList environment;
    for (const QString &entry : entries.split(QStringLiteral(" ; "), Qt::SkipEmptyParts))
        environment.append(entry.toUtf8());
    return environment;
}

void clearProxyEnvironment()
{
    for (const char *name : proxyVariables)
        qunsetenv(name);
}

} // namespace

class tst_PromotionNetworkAPI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void queueIsServedInOrderOneAtATime();
    void sameUrlQueuedTwice_data();
    void sameUrlQueuedTwice();
    void answeredEntryAnswersLateRequester();
    void cachedAnswer_data();
    void cachedAnswer();
    void cacheFileNameIgnoresLetterCase_data();
    void cacheFileNameIgnoresLetterCase();
    void answerOutcome_data();
    void answerOutcome();
    void offline_data();
    void offline();
    void newDefaultConfigurationGetsNewSession();
    void cancelEmitsNothingAndFreesQueue_data();
    void cancelEmitsNothingAndFreesQueue();
    void failedCacheWriteIsNeverServed_data();
    void failedCacheWriteIsNeverServed();
    void refusedUrlsAreNeverOpened_data();
    void refusedUrlsAreNeverOpened();
    void missingCacheFolders_data();
    void missingCacheFolders();
    void releaseCache();
    void plantedLinkGoesWithoutAnAnswer();
    void cacheIsTrimmed_data();
    void cacheIsTrimmed();
    void proxyFromEnvironment_data();
    void proxyFromEnvironment();
    void proxyCarriesRequests_data();
    void proxyCarriesRequests();
    void hostsReachedDirectly_data();
    void hostsReachedDirectly();
    void pictureIsStoredAsThumbnail_data();
    void pictureIsStoredAsThumbnail();
    void pictureFailureAllowsRetry_data();
    void pictureFailureAllowsRetry();
    void untrustedCachedPicture_data();
    void untrustedCachedPicture();
    void releasedPictureDownloadsStop_data();
    void releasedPictureDownloadsStop();

private:
    void recreateService();
    // Sets NAME=value entries, PORT in a value standing for port, for a new service only.
    void setEnvironment(const QByteArrayList &environment, quint16 port);
    QString url(const QString &path) const { return m_server->baseUrl() + path; }
    void serve(const QString &path, const QByteArray &body);
    int requestCount(const QString &path = QString()) const;

    // What the service announces, from its creation on.
    struct Spies
    {
        explicit Spies(PromotionNetworkAPI *api)
            : started(api, &PromotionNetworkAPI::xmlFetchingStarted),
              downloaded(api, &PromotionNetworkAPI::xmlDownloaded),
              error(api, &PromotionNetworkAPI::errorOccurred),
              image(api, &PromotionNetworkAPI::imageDownloaded)
        { }
        QSignalSpy started;
        QSignalSpy downloaded;
        QSignalSpy error;
        QSignalSpy image;
    };

    SwitchingBearerBackend m_bearer;
    StoreServer *m_server = nullptr;
    PromotionNetworkAPI *m_api = nullptr;
    std::unique_ptr<Spies> m_spies;
};

void tst_PromotionNetworkAPI::initTestCase()
{
    BearerBackend::install(&m_bearer);
}

void tst_PromotionNetworkAPI::init()
{
    clearProxyEnvironment();
    QDir(CacheFolder::path()).removeRecursively();
    m_bearer.setOnline(true);
    m_bearer.setSessionRequired(false);
    m_bearer.setSessionOpens(true);
    m_server = new StoreServer(this);
    QVERIFY(m_server->start());
    recreateService();
}

void tst_PromotionNetworkAPI::cleanup()
{
    m_spies.reset();
    delete m_api;
    m_api = nullptr;
    delete m_server;
    m_server = nullptr;
}

void tst_PromotionNetworkAPI::recreateService()
{
    delete m_api;
    m_api = PromotionNetworkAPI::instance();
    m_spies = std::make_unique<Spies>(m_api);
    m_api->setTransferTimeout(10000);
    m_api->setDownloadDeadline(20000);
}

void tst_PromotionNetworkAPI::serve(const QString &path, const QByteArray &body)
{
    m_server->setHandler(path, [body](const StoreHttpRequest &) { return answerWith(body); });
}

int tst_PromotionNetworkAPI::requestCount(const QString &path) const
{
    const QList<StoreRequest> log = m_server->requestLog();
    return int(std::count_if(log.cbegin(), log.cend(), [&path](const StoreRequest &request) {
        return path.isNull() || request.path == path;
    }));
}

void tst_PromotionNetworkAPI::queueIsServedInOrderOneAtATime()
{
    const QStringList paths { "/a", "/b", "/c" };
    for (const QString &path : paths)
        serve(path, path.toUtf8() + " answer");
    m_server->addFault(fault(Kind::Hold, QString(), 0));

    QList<int> ids;
    for (const QString &path : paths)
        ids.append(m_api->fetchXml(url(path), 0));

    for (int i = 0; i < paths.size(); ++i) {
        QTRY_COMPARE(m_server->heldCount(), 1);
        QCOMPARE(requestCount(), i + 1);
        QCOMPARE(m_server->requestLog().at(i).path, paths.at(i));
        m_server->releaseHeld();
        QTRY_COMPARE(m_spies->downloaded.count(), i + 1);
    }
    QCOMPARE(idsOf(m_spies->started), ids);
    QCOMPARE(idsOf(m_spies->downloaded), ids);
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(m_api->getXmlData(ids.at(i)), paths.at(i).toUtf8() + " answer");
}

void tst_PromotionNetworkAPI::sameUrlQueuedTwice_data()
{
    QTest::addColumn<QString>("second");
    // URLs that differ only in letter case are two entries sharing one cache file.
    QTest::newRow("same url") << "/artist";
    QTest::newRow("letter case differs") << "/ARTIST";
}

void tst_PromotionNetworkAPI::sameUrlQueuedTwice()
{
    QFETCH(QString, second);
    m_server->setHandler(QString(), [](const StoreHttpRequest &request) {
        return answerWith(request.url.path().toUtf8());
    });

    const int first = m_api->fetchXml(url("/artist"), 0);
    const int other = m_api->fetchXml(url(second), 0);
    QVERIFY(first != other);

    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(requestCount(), 1);
    QList<int> announced = idsOf(m_spies->downloaded);
    std::sort(announced.begin(), announced.end());
    QCOMPARE(announced, QList<int>({ first, other }));
    QCOMPARE(m_api->getXmlData(first), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(other), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(first), QByteArray());
}

void tst_PromotionNetworkAPI::answeredEntryAnswersLateRequester()
{
    serve("/x", "answer");
    const int early = m_api->fetchXml(url("/x"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);

    const int late = m_api->fetchXml(url("/x"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(idsOf(m_spies->downloaded), QList<int>({ early, late }));
    QCOMPARE(idsOf(m_spies->started), QList<int>({ early }));
    QCOMPARE(requestCount(), 1);
    QCOMPARE(m_api->getXmlData(late), QByteArray("answer"));
    QCOMPARE(m_api->getXmlData(early), QByteArray("answer"));
}

void tst_PromotionNetworkAPI::cachedAnswer_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<QByteArray>("expected");
    const QDate today = QDate::currentDate();
    const QByteArray cache = "from cache";
    const QByteArray network = "from network";
    QTest::newRow("written just now") << cache << QDateTime::currentDateTime() << cache;
    QTest::newRow("yesterday just after midnight")
            << cache << QDateTime(today.addDays(-1), QTime(0, 0, 1)) << cache;
    QTest::newRow("two days ago just before midnight")
            << cache << QDateTime(today.addDays(-2), QTime(23, 59, 59)) << network;
    QTest::newRow("a week ago") << cache << QDateTime(today.addDays(-7), QTime(12, 0)) << network;
    QTest::newRow("a little ahead of the clock")
            << cache << QDateTime::currentDateTime().addSecs(30) << cache;
    QTest::newRow("an hour ahead of the clock")
            << cache << QDateTime::currentDateTime().addSecs(3600) << network;
    QTest::newRow("empty file") << QByteArray() << QDateTime::currentDateTime() << network;
    // Larger than any answer we keep: not written by us.
    QTest::newRow("too large") << QByteArray(100000, 'x') << QDateTime::currentDateTime()
                               << network;
}

void tst_PromotionNetworkAPI::cachedAnswer()
{
    QFETCH(QByteArray, cached);
    QFETCH(QDateTime, written);
    QFETCH(QByteArray, expected);
    m_api->setAnswerSizeLimit(64 * 1024);
    serve("/search", "from network");
    QVERIFY(TestFiles::write(CacheFolder::filePath("queries", url("/search")), cached, written));

    const int id = m_api->fetchXml(url("/search"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_api->getXmlData(id), expected);
    QCOMPARE(m_spies->started.count(), requestCount());
    QCOMPARE(requestCount(), int(expected != cached));
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url("/search")), Missing), expected);
}

void tst_PromotionNetworkAPI::cacheFileNameIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("capitals") << "http://store.invalid/Search?Q=ABBA"
                              << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("small letters") << "http://store.invalid/search?q=abba"
                                   << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("empty") << ""
                           << "d41d8cd98f00b204e9800998ecf8427e";
}

void tst_PromotionNetworkAPI::cacheFileNameIgnoresLetterCase()
{
    QFETCH(QString, url);
    QFETCH(QString, fileName);
    QVERIFY(TestFiles::write(CacheFolder::folder("queries") + fileName, "cached",
                             QDateTime::currentDateTime()));

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_spies->error.count(), 0);
    QCOMPARE(m_api->getXmlData(id), QByteArray("cached"));
}

void tst_PromotionNetworkAPI::answerOutcome_data()
{
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const QMetaEnum kinds = QMetaEnum::fromType<Kind>();
    const QMetaEnum errors = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    // A row that holds for some Qt versions only names them: "< 6.8" or ">= 6.8".
    const QVersionNumber qt = QVersionNumber::fromString(QLatin1String(qVersion()));
    for (const QStringList &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/answer-outcomes.tsv"), 10)) {
        const QString versions = row.at(9);
        const QVersionNumber bound = QVersionNumber::fromString(versions.section(u' ', 1));
        if (!versions.isEmpty() && (qt < bound) != versions.startsWith(u'<'))
            continue;
        StoreFault fault(Kind(kinds.keyToValue(qPrintable(row.at(1)))), "/q");
        fault.status = row.at(2).toInt();
        if (row.at(3).toInt() > 0)
            fault.chunkSize = row.at(3).toInt();
        if (!row.at(4).isEmpty()) {
            fault.interimStatuses.clear();
            for (const QString &status : row.at(4).split(QLatin1Char(' ')))
                fault.interimStatuses.append(status.toInt());
        }
        fault.intervalMs = 400;
        fault.bodySize = 100000;
        QTest::newRow(qPrintable(
                versions.isEmpty() ? row.at(0) : row.at(0) + QLatin1String(", Qt ") + versions))
                << fault << row.at(5).toUtf8() << row.at(6).toUtf8()
                << errors.keyToValue(qPrintable(row.at(7))) << row.at(8);
    }
}

void tst_PromotionNetworkAPI::answerOutcome()
{
    QFETCH(StoreFault, fault);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, cached);
    QFETCH(int, code);
    QFETCH(QString, text);
    // The first limit is a pause between bytes, the second the whole transfer.
    m_api->setTransferTimeout(1000);
    m_api->setDownloadDeadline(3000);
    m_api->setAnswerSizeLimit(64 * 1024);
    serve("/q", "0123456789abcdefghij");
    serve("/next", "next");
    m_server->addFault(fault);

    const int id = m_api->fetchXml(url("/q"), 0);
    const int next = m_api->fetchXml(url("/next"), 0);
    // Whatever became of it, the first entry no longer holds the queue.
    QTRY_VERIFY_WITH_TIMEOUT(idsOf(m_spies->downloaded).contains(next), 10000);
    QCOMPARE(m_spies->downloaded.count(), 1 + int(code == 0));
    QCOMPARE(m_spies->error.count(), int(code != 0));
    QCOMPARE(m_spies->error.value(0).value(0).toInt(), id * int(code != 0));
    QCOMPARE(m_spies->error.value(0).value(2).toInt(), code);
    QVERIFY(m_spies->error.value(0).value(1).toString().contains(text));
    QCOMPARE(requestCount("/q"), 1);
    QCOMPARE(m_api->getXmlData(id), data);
    QCOMPARE(m_api->getXmlData(next), QByteArray("next"));
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url("/q")), Missing), cached);
}

void tst_PromotionNetworkAPI::offline_data()
{
    QTest::addColumn<bool>("sessionRequired");
    QTest::addColumn<bool>("sessionOpens");
    QTest::addColumn<bool>("reportsNoConnection");
    QTest::newRow("connects on its own") << false << true << true;
    QTest::newRow("session opens") << true << true << false;
    QTest::newRow("session does not open") << true << false << true;
}

void tst_PromotionNetworkAPI::offline()
{
    QFETCH(bool, sessionRequired);
    QFETCH(bool, sessionOpens);
    QFETCH(bool, reportsNoConnection);
    m_bearer.setOnline(false);
    m_bearer.setSessionRequired(sessionRequired);
    m_bearer.setSessionOpens(sessionOpens);
    serve("/q", "answer");

    const int id = m_api->fetchXml(url("/q"), 0);
    QTRY_VERIFY(m_spies->error.count() + m_spies->started.count() > 0);
    // Every queue check reports it again while the entry waits.
    QCOMPARE(m_spies->error.isEmpty(), !reportsNoConnection);
    for (const QList<QVariant> &error : std::as_const(m_spies->error))
        QCOMPARE(error, QList<QVariant>({ id, "NO_INTERNET_CONNECTION", 0 }));
    m_bearer.setOnline(true);
    const qsizetype errorsWhileOffline = m_spies->error.count();
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_spies->downloaded.at(0).at(0).toInt(), id);
    QCOMPARE(m_api->getXmlData(id), QByteArray("answer"));
    QCOMPARE(m_spies->error.count(), errorsWhileOffline);
    QCOMPARE(m_bearer.sessionOpenCount() > 0, sessionRequired);
    QCOMPARE(m_bearer.lastSessionProperties().value("ConnectInBackground").toBool(),
             sessionRequired);
}

void tst_PromotionNetworkAPI::newDefaultConfigurationGetsNewSession()
{
    m_bearer.openedFor.clear();
    m_bearer.setSessionRequired(true);
    m_server->setHandler(QString(), [](const StoreHttpRequest &) { return answerWith("answer"); });
    const QStringList preferred { "wlan", "wlan", "cellular" };
    for (int i = 0; i < preferred.size(); ++i) {
        m_bearer.preferred = preferred.at(i);
        m_bearer.setOnline(false);
        const int id = m_api->fetchXml(url(QStringLiteral("/q%1").arg(i)), 0);
        QTRY_VERIFY(idsOf(m_spies->downloaded).contains(id));
    }
    // The open session serves its own configuration again.
    QCOMPARE(m_bearer.openedFor, QStringList({ "wlan", "cellular" }));
}

void tst_PromotionNetworkAPI::cancelEmitsNothingAndFreesQueue_data()
{
    QTest::addColumn<QStringList>("after");
    // A download that finishes after its entry has gone finds no entry at all.
    QTest::newRow("the only entry") << QStringList();
    QTest::newRow("first of two") << QStringList { "/next" };
}

void tst_PromotionNetworkAPI::cancelEmitsNothingAndFreesQueue()
{
    QFETCH(QStringList, after);
    serve("/slow", "slow");
    serve("/next", "next");
    m_server->addFault(fault(Kind::Hold, "/slow"));

    const int cancelled = m_api->fetchXml(url("/slow"), 0);
    QList<int> ids;
    for (const QString &path : after)
        ids.append(m_api->fetchXml(url(path), 0));
    QTRY_COMPARE(m_server->heldCount(), 1);
    m_api->cancel(cancelled);
    m_server->releaseHeld();

    QTRY_COMPARE(idsOf(m_spies->downloaded), ids);
    for (const int id : std::as_const(ids))
        QCOMPARE(m_api->getXmlData(id), QByteArray("next"));
    QCOMPARE(m_api->getXmlData(cancelled), QByteArray());
    QCOMPARE(m_spies->error.count(), 0);
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url("/slow"))));
    // The stopped download is let go, as the finished ones are.
    QTRY_VERIFY(m_api->findChildren<QNetworkReply *>().isEmpty());
}

void tst_PromotionNetworkAPI::failedCacheWriteIsNeverServed_data()
{
    QTest::addColumn<int>("bodySize");
    QTest::newRow("write kept in the buffer") << 8000;
    QTest::newRow("write straight to the file") << 300000;
}

void tst_PromotionNetworkAPI::failedCacheWriteIsNeverServed()
{
    QFETCH(int, bodySize);
    const QByteArray body(bodySize, 'a');
    const QString url = this->url("/big");
    serve("/big", body);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^void PromotionNetworkAPI::saveQuery\\(const "
                                            "QString&, const QByteArray&\\) const  - Failed to "
                                            "write data:  \"Not all data could be written\"$"));
    int id;
    {
        const FileSizeLimit limit(1024);
        id = m_api->fetchXml(url, 0);
        QTRY_COMPARE(m_spies->downloaded.count(), 1);
    }
    QCOMPARE(m_api->getXmlData(id), body);
    QCOMPARE(QDir(CacheFolder::folder("queries")).entryList(QDir::Files | QDir::Hidden),
             QStringList());

    const int again = m_api->fetchXml(url, 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(requestCount(), 2);
    QCOMPARE(m_api->getXmlData(again), body);
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url), Missing), body);
}

void tst_PromotionNetworkAPI::refusedUrlsAreNeverOpened_data()
{
    // FILE and IMAGE stand for a local picture file and that picture in base64.
    QTest::addColumn<QString>("pattern");
    QTest::newRow("file link ending like a web link") << "file://FILE#http://x";
    QTest::newRow("data link") << "data:image/jpeg;base64,IMAGE";
    QTest::newRow("web scheme without host") << "http:///FILE";
}

void tst_PromotionNetworkAPI::refusedUrlsAreNeverOpened()
{
    QFETCH(QString, pattern);
    QTemporaryDir dir;
    const QString file = dir.filePath("art.jpg");
    const QByteArray image = TestFiles::picture(QSize(100, 100));
    QVERIFY(TestFiles::write(file, image, QDateTime::currentDateTime()));
    const QString url = pattern.replace("FILE", file).replace("IMAGE", image.toBase64());
    serve("/next", "next");
    serve("/art", image);

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    m_api->getArtOfMusicItem(this->url("/art"));
    const int id = m_api->fetchXml(url, 0);
    const int next = m_api->fetchXml(this->url("/next"), 0);

    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_spies->downloaded.at(0).at(0).toInt(), next);
    QCOMPARE(m_spies->error.count(), 1);
    QCOMPARE(m_spies->error.at(0).at(0).toInt(), id);
    QCOMPARE(m_spies->error.at(0).at(2).toInt(), int(QNetworkReply::ProtocolUnknownError));
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCOMPARE(m_spies->image.at(0).at(0).toString(), this->url("/art"));
    QVERIFY(!QFile::exists(CacheFolder::filePath("images", url)));
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url)));
}

void tst_PromotionNetworkAPI::missingCacheFolders_data()
{
    QTest::addColumn<QStringList>("removed");
    QTest::newRow("without queries") << QStringList { "queries" };
    QTest::newRow("without images") << QStringList { "images" };
    QTest::newRow("without both") << QStringList { "queries", "images" };
}

void tst_PromotionNetworkAPI::missingCacheFolders()
{
    QFETCH(QStringList, removed);
    // Emptied by hand while the service runs; the base folder stays.
    for (const QString &kind : removed)
        QVERIFY(QDir(CacheFolder::folder(kind)).removeRecursively());
    serve("/q", "answer");
    serve("/art", TestFiles::picture(QSize(100, 100)));

    const int id = m_api->fetchXml(url("/q"), 0);
    m_api->getArtOfMusicItem(url("/art"));
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray("answer"));
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url("/q")), Missing),
             QByteArray("answer"));
    QCOMPARE(m_api->getArtOfMusicItem(url("/art")), CacheFolder::filePath("images", url("/art")));
}

void tst_PromotionNetworkAPI::cacheIsTrimmed_data()
{
    QTest::addColumn<QList<Planted>>("planted");
    const int day = 24;
    const QString queries = QStringLiteral("queries");
    const QString images = QStringLiteral("images");
    // Other programs read this cache: only names of its own form are ours.
    QTest::newRow("older than 30 days") << QList<Planted> {
        { queries, QString(32, QLatin1Char('a')), 31 * day, 100, false },
        { images, QString(32, QLatin1Char('c')), 40 * day, 100, false },
        { queries, QString(32, QLatin1Char('b')), 29 * day, 100, true },
        { queries, QStringLiteral("notes"), 40 * day, 100, true },
        { queries, QString(31, QLatin1Char('d')), 40 * day, 100, true },
        { queries, QString(32, QLatin1Char('E')), 40 * day, 100, true },
        { images, QString(32, QLatin1Char('f')) + QStringLiteral(".tmp"), 40 * day, 100, true },
    };
    // A write killed mid-way leaves its temporary beside the file; one still
    // being written is young.
    QTest::newRow("leftover temporaries") << QList<Planted> {
        { images, QString(32, QLatin1Char('a')) + QStringLiteral(".a1B2c3"), 1, 100, false },
        { queries, QString(32, QLatin1Char('b')) + QStringLiteral(".Zz9Yy8"), 0, 100, true },
    };
    // Sixty years ahead: never old by its date, so taken as old at once.
    QTest::newRow("dated ahead") << QList<Planted> {
        { queries, QString(32, QLatin1Char('1')), -60 * 365 * day, 100, false },
        { images, QString(32, QLatin1Char('2')), 0, 100, true },
    };
    // 60 MiB of our own, the oldest ten go; a large file of another program
    // neither counts nor goes.
    // A temporary being written counts too: ten more go for it.
    QList<Planted> crowded { { images, QStringLiteral("other-program"), 1000, 20 << 20, true },
                             { queries, QString(32, QLatin1Char('c')) + QStringLiteral(".q1w2e3"),
                               0, 10 << 20, true } };
    for (int hour = 1; hour <= 60; ++hour) {
        crowded.append({ hour % 2 ? queries : images,
                         QStringLiteral("%1").arg(hour, 32, 10, QLatin1Char('0')), hour, 1 << 20,
                         hour <= 40 });
    }
    QTest::newRow("over 50 MiB") << crowded;
}

void tst_PromotionNetworkAPI::cacheIsTrimmed()
{
    QFETCH(QList<Planted>, planted);
    // The running service's trim must not see the files half planted.
    delete m_api;
    m_api = nullptr;
    const QDateTime now = QDateTime::currentDateTime();
    for (const Planted &file : planted) {
        QFile written(CacheFolder::folder(file.kind) + file.name);
        // Sparse: the size counts, the disk is spared.
        QVERIFY(written.open(QIODevice::WriteOnly) && written.resize(file.size));
        QVERIFY(written.setFileTime(now.addSecs(-3600 * file.ageHours),
                                    QFileDevice::FileModificationTime));
    }

    // The service trims as it starts; the files that go are gone first.
    recreateService();
    for (const Planted &file : planted) {
        if (!file.kept)
            QTRY_VERIFY2(!QFile::exists(CacheFolder::folder(file.kind) + file.name),
                         qPrintable(file.name));
    }
    for (const Planted &file : planted) {
        if (file.kept)
            QVERIFY2(QFile::exists(CacheFolder::folder(file.kind) + file.name),
                     qPrintable(file.name));
    }
}

void tst_PromotionNetworkAPI::releaseCache()
{
    const QString path = CacheFolder::filePath("queries", url("/q"));
    QVERIFY(TestFiles::write(path, "answer", QDateTime::currentDateTime()));
    const MessageRecorder recorder;
    m_api->releaseCache(url("/q"));
    m_api->releaseCache(url("/never-cached"));
    QCOMPARE(recorder.messages(), QStringList());
    QVERIFY(!QFile::exists(path));
}

void tst_PromotionNetworkAPI::plantedLinkGoesWithoutAnAnswer()
{
    // A link planted where an answer would be is never followed, and goes
    // even when no answer comes to be written in its place.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("target");
    QVERIFY(TestFiles::write(target, "planted", QDateTime::currentDateTime()));
    const QString path = CacheFolder::filePath("queries", url("/q"));
    QVERIFY(QDir().mkpath(CacheFolder::folder("queries")));
    QVERIFY(QFile::link(target, path));
    m_server->addFault(fault(Kind::Status, "/q"));

    const int id = m_api->fetchXml(url("/q"), 0);
    QTRY_COMPARE(m_spies->error.count(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray());
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(TestFiles::read(target), QByteArray("planted"));
}

void tst_PromotionNetworkAPI::proxyFromEnvironment_data()
{
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("debugLines");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    const QHash<QString, int> types { { "default", QNetworkProxy::DefaultProxy },
                                      { "http", QNetworkProxy::HttpProxy },
                                      { "none", QNetworkProxy::NoProxy } };
    for (const QStringList &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/proxy-environments.tsv"), 8)) {
        QTest::newRow(qPrintable(row.at(0)))
                << environmentOf(row.at(1)) << types.value(row.at(2), -1) << row.at(3)
                << row.at(4).toInt() << row.at(5).toInt() << row.at(6) << row.at(7);
    }
}

void tst_PromotionNetworkAPI::setEnvironment(const QByteArrayList &environment, quint16 port)
{
    for (const QByteArray &entry : environment) {
        const qsizetype equals = entry.indexOf('=');
        QByteArray value = entry.mid(equals + 1);
        qputenv(entry.left(equals), value.replace("PORT", QByteArray::number(port)));
    }
    recreateService();
    clearProxyEnvironment();
}

void tst_PromotionNetworkAPI::proxyFromEnvironment()
{
    QFETCH(QByteArrayList, environment);
    QFETCH(int, type);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(int, debugLines);
    QFETCH(QString, user);
    QFETCH(QString, password);
    const MessageRecorder recorder;
    setEnvironment(environment, 0);

    const QNetworkProxy proxy = m_api->proxy();
    QCOMPARE(int(proxy.type()), type);
    QCOMPARE(proxy.hostName(), host);
    QCOMPARE(int(proxy.port()), port);
    QCOMPARE(proxy.user(), user);
    QCOMPARE(proxy.password(), password);
    QCOMPARE(recorder.messages().size(), debugLines);
}

void tst_PromotionNetworkAPI::proxyCarriesRequests_data()
{
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("credentials");
    QTest::addColumn<QByteArray>("body");
    for (const QStringList &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/proxied-requests.tsv"), 5)) {
        QTest::newRow(qPrintable(row.at(0))) << environmentOf(row.at(1)) << row.at(2)
                                             << row.at(3).toLatin1() << row.at(4).toUtf8();
    }
}

void tst_PromotionNetworkAPI::proxyCarriesRequests()
{
    QFETCH(QByteArrayList, environment);
    QFETCH(QString, host);
    QFETCH(QByteArray, credentials);
    QFETCH(QByteArray, body);
    StoreServer proxy;
    QVERIFY(proxy.start());
    proxy.setHandler(QString(), [credentials](const StoreHttpRequest &request) {
        if (request.value("Proxy-Authorization") == credentials)
            return answerWith("through the proxy");
        return StoreServer::Answer {
            407, "text/plain", "credentials", { { "Proxy-Authenticate", "Basic realm=\"test\"" } }
        };
    });
    serve("/search", "direct");
    setEnvironment(environment, proxy.port());

    const int id = m_api->fetchXml(
            QStringLiteral("http://%1:%2/search").arg(host).arg(m_server->port()), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_api->getXmlData(id), body);
}

void tst_PromotionNetworkAPI::hostsReachedDirectly_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("noProxy");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("direct");
    for (const QStringList &row : TestFiles::table(QStringLiteral(TEST_DATA "/no-proxy.tsv"), 5)) {
        QTest::newRow(qPrintable(row.at(0))) << row.at(1).toLatin1() << row.at(2).toUtf8()
                                             << row.at(3) << (row.at(4) == QLatin1String("true"));
    }
}

void tst_PromotionNetworkAPI::hostsReachedDirectly()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, noProxy);
    QFETCH(QString, host);
    QFETCH(bool, direct);
    qputenv(name, noProxy);
    EnvironmentProxyFactory factory(QNetworkProxy(QNetworkProxy::HttpProxy, "proxy", 3128),
                                    EnvironmentProxyFactory::directHostsFromEnvironment());
    clearProxyEnvironment();

    QCOMPARE(factory.goesDirect(host), direct);
    QUrl url("http://x/search");
    url.setHost(host);
    const QList<QNetworkProxy> proxies = factory.queryProxy(QNetworkProxyQuery(url));
    QCOMPARE(proxies.size(), 1);
    QCOMPARE(proxies.first().type() == QNetworkProxy::NoProxy, direct);
}

void tst_PromotionNetworkAPI::pictureIsStoredAsThumbnail_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("small jpeg") << QSize(120, 120) << QByteArray("jpeg");
    QTest::newRow("png") << QSize(90, 200) << QByteArray("png");
    QTest::newRow("wide png") << QSize(300, 120) << QByteArray("png");
    QTest::newRow("camera jpeg") << QSize(3000, 2250) << QByteArray("jpeg");
    QTest::newRow("huge jpeg") << QSize(7000, 7000) << QByteArray("jpeg");
}

void tst_PromotionNetworkAPI::pictureIsStoredAsThumbnail()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    serve("/art.img", TestFiles::picture(size, format.constData()));
    const QString url = this->url("/art.img");

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    // Decoded at a low priority: 12 s under a sanitizer on a busy machine.
    QTRY_COMPARE_WITH_TIMEOUT(m_spies->image.count(), 1, 60000);
    const QString path = m_spies->image.at(0).at(1).toString();
    QCOMPARE(m_spies->image.at(0).at(0).toString(), url);
    QCOMPARE(path, CacheFolder::filePath("images", url));
    QCOMPARE(requestCount(), 1);

    QCOMPARE(QImageReader(path).format(), QByteArray("jpeg"));
    const QImage stored(path);
    QCOMPARE(stored.size(), QSize(80, 80));
    for (int y : { 2, 40, 77 }) {
        QVERIFY(qGreen(stored.pixel(4, y)) > 200 && qRed(stored.pixel(4, y)) < 60);
        QVERIFY(qRed(stored.pixel(60, y)) > 200 && qGreen(stored.pixel(60, y)) < 60);
    }
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(requestCount(), 1);
    // The reply goes once its picture is stored.
    QTRY_COMPARE(m_api->findChildren<QNetworkReply *>().size(), 0);
}

void tst_PromotionNetworkAPI::pictureFailureAllowsRetry_data()
{
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QString>("message");
    const QString tooLarge = "^\"picture too large\" "
            + QString::number(QNetworkReply::OperationCanceledError) + "$";
    const QString notLoaded =
            "^void PromotionNetworkAPI::saveImage\\(QNetworkReply\\*\\)  - Failed to load image!$";
    StoreFault padded(Kind::PadBody, "/art");
    padded.bodySize = 30000;
    StoreFault notAnImage(Kind::ReplaceBody, "/art");
    notAnImage.body = "<html>no picture here</html>";
    StoreFault absurd(Kind::ReplaceBody, "/art");
    absurd.body = bitmapHeader(60000);
    StoreFault notFound(Kind::Status, "/art");
    notFound.status = 404;
    QTest::newRow("larger than announced limit") << padded << tooLarge;
    QTest::newRow("endless chunks") << StoreFault(Kind::EndlessChunked, "/art") << tooLarge;
    // Decoded whole, this 35-byte picture took 144 MB.
    StoreFault manyPixels(Kind::ReplaceBody, "/art");
    manyPixels.body = gifClaiming(QSize(5700, 5700));
    QTest::newRow("gif claiming 5700 x 5700") << manyPixels << notLoaded;
    // Found by fuzzing the earlier code: a 33-byte progressive JPEG whose
    // coefficients, held whole, took one allocation of 113 MB.
    StoreFault progressive(Kind::ReplaceBody, "/art");
    progressive.body = QByteArray::fromHex("ffd8ffc200110803ffd91003011100021101031100ffda000c03"
                                           "0100020003ffd9");
    QTest::newRow("progressive jpeg claiming 55568 x 1023") << progressive << notLoaded;
    QTest::newRow("not an image") << notAnImage << notLoaded;
    QTest::newRow("absurd declared size") << absurd << notLoaded;
    QTest::newRow("not found") << notFound
                               << "^\".*Not Found.*\" "
                    + QString::number(QNetworkReply::ContentNotFoundError) + "$";
}

void tst_PromotionNetworkAPI::pictureFailureAllowsRetry()
{
    QFETCH(StoreFault, fault);
    QFETCH(QString, message);
    m_api->setPictureSizeLimit(20000);
    serve("/art", TestFiles::picture(QSize(100, 100)));
    m_server->addFault(fault);
    const QString url = this->url("/art");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));

    m_api->getArtOfMusicItem(url);
    QTRY_VERIFY((m_api->getArtOfMusicItem(url), requestCount() == 2));
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(m_spies->image.count(), 1);
    QCOMPARE(QImage(CacheFolder::filePath("images", url)).size(), QSize(80, 80));
}

void tst_PromotionNetworkAPI::untrustedCachedPicture_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("aheadSecs");
    QTest::addColumn<int>("downloads");
    const QByteArray own = TestFiles::picture(QSize(80, 80));
    QTest::newRow("our own thumbnail") << own << 0 << 0;
    QTest::newRow("our own thumbnail, clock a little behind") << own << 30 << 0;
    QTest::newRow("dated an hour ahead") << own << 3600 << 1;
    QTest::newRow("three days old") << own << -3 * 86400 << 1;
    QTest::newRow("empty") << QByteArray() << 0 << 1;
    QTest::newRow("garbage") << QByteArray("this is not a picture\n") << 0 << 1;
    QTest::newRow("one pixel too wide") << TestFiles::picture(QSize(81, 80)) << 0 << 1;
    // The JPEG decoder pads a picture cut short with grey and calls it read.
    QTest::newRow("our own thumbnail, cut short") << own.left(own.size() / 2) << 0 << 1;
    QTest::newRow("declares 5600 x 5600") << bitmapHeader(5600) << 0 << 1;
}

void tst_PromotionNetworkAPI::untrustedCachedPicture()
{
    QFETCH(QByteArray, content);
    QFETCH(int, aheadSecs);
    QFETCH(int, downloads);
    const QString url = this->url("/art");
    const QString path = CacheFolder::filePath("images", url);
    serve("/art", TestFiles::picture(QSize(100, 100)));
    QVERIFY(QDir().mkpath(CacheFolder::folder("images")));
    QVERIFY(TestFiles::write(path, content, QDateTime::currentDateTime().addSecs(aheadSecs)));

    // Until the picture is there again the cell shows its default icon.
    QCOMPARE(m_api->getArtOfMusicItem(url).isEmpty(), downloads > 0);
    QTRY_COMPARE(m_spies->image.count(), downloads);
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(QImageReader(path).size(), QSize(80, 80));
    QCOMPARE(requestCount(), downloads);
}

void tst_PromotionNetworkAPI::releasedPictureDownloadsStop_data()
{
    QTest::addColumn<int>("keptByOtherView");
    QTest::newRow("left by its only view") << 0;
    QTest::newRow("two still shown by another view") << 2;
}

void tst_PromotionNetworkAPI::releasedPictureDownloadsStop()
{
    QFETCH(int, keptByOtherView);
    // As many as the access manager's connections to one host: while they all
    // hang, no other picture from that host can start.
    const int hanging = 6;
    m_server->setHandler(QString(), [](const StoreHttpRequest &) {
        return answerWith(TestFiles::picture(QSize(100, 100)));
    });
    m_server->addFault(fault(Kind::Hold, "/old", 0));
    QObject leftView;
    QObject otherView;
    for (int i = 0; i < hanging; ++i) {
        const QString url = this->url(QStringLiteral("/old%1").arg(i));
        m_api->retainImage(&leftView, url);
        if (i < keptByOtherView)
            m_api->retainImage(&otherView, url);
        m_api->getArtOfMusicItem(url);
    }
    QTRY_COMPARE(m_server->heldCount(), hanging);

    m_api->releaseImages(&leftView);
    const QString current = url("/current");
    m_api->retainImage(&leftView, current);
    m_api->getArtOfMusicItem(current);
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCOMPARE(m_spies->image.at(0).at(0).toString(), current);

    m_server->releaseHeld();
    QTRY_COMPARE(m_spies->image.count(), 1 + keptByOtherView);
    QCOMPARE(requestCount(), hanging + 1);
    QCOMPARE(QDir(CacheFolder::folder("images")).entryList(QDir::Files).size(),
             1 + keptByOtherView);
}

QTEST_MAIN(tst_PromotionNetworkAPI)
#include "tst_promotionnetworkapi.moc"
