#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "cachefolder.h"
#include "httpfixtureserver.h"
#include "promotionnetworkapi.h"
#include "simulatedbearerbackend.h"

#include <csignal>
#include <sys/resource.h>

namespace {

void writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

FixtureReply replyWith(const QByteArray &body)
{
    FixtureReply reply;
    reply.body = body;
    return reply;
}

QList<int> idsOf(const QSignalSpy &spy)
{
    QList<int> ids;
    for (const QList<QVariant> &arguments : spy)
        ids.append(arguments.at(0).toInt());
    return ids;
}

// A bitmap header that claims 60000 x 60000 pixels and carries no pixels.
QByteArray absurdBitmap()
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
    put32(18, 60000);
    put32(22, 60000);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

// Limits the size of any file this process writes, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_previous); }

private:
    rlimit m_previous;
};

QStringList recordedMessages;

void recordMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    recordedMessages.append(message);
}

} // namespace

class TestPromotionNetworkAPI : public QObject
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
    void cacheFreshness_data();
    void cacheFreshness();
    void cacheFileNameIgnoresLetterCase_data();
    void cacheFileNameIgnoresLetterCase();
    void emptyCacheFileIsAMiss();
    void emptyAnswerIsAnnouncedOnce();
    void offline_data();
    void offline();
    void downloadErrors_data();
    void downloadErrors();
    void cancelEmitsNothingAndFreesQueue();
    void stalledServerTimesOut_data();
    void stalledServerTimesOut();
    void failedCacheWriteIsNeverServed_data();
    void failedCacheWriteIsNeverServed();
    void baseDirectoryWithoutQueries();
    void releaseCache();
    void proxyFromEnvironment_data();
    void proxyFromEnvironment();
    void proxyCarriesRequests();
    void pictureIsStoredAsThumbnail_data();
    void pictureIsStoredAsThumbnail();
    void nonSquarePictureIsStretched();
    void pictureFailureAllowsRetry_data();
    void pictureFailureAllowsRetry();
    void stalePictureIsDownloadedAgain();

private:
    void recreateService();

    SimulatedBearerBackend m_bearer;
    HttpFixtureServer *m_server = nullptr;
    PromotionNetworkAPI *m_api = nullptr;
};

void TestPromotionNetworkAPI::initTestCase()
{
    BearerBackend::install(&m_bearer);
}

void TestPromotionNetworkAPI::init()
{
    QDir(CacheFolder::path()).removeRecursively();
    m_bearer.setOnline(true);
    m_bearer.setSessionRequired(false);
    m_bearer.setSessionOpens(true);
    m_server = new HttpFixtureServer(this);
    QVERIFY(m_server->start());
    recreateService();
}

void TestPromotionNetworkAPI::cleanup()
{
    delete m_api;
    m_api = nullptr;
    delete m_server;
    m_server = nullptr;
}

void TestPromotionNetworkAPI::recreateService()
{
    delete m_api;
    m_api = PromotionNetworkAPI::instance();
    m_api->setTransferTimeout(10000);
    m_api->setDownloadDeadline(20000);
}

void TestPromotionNetworkAPI::queueIsServedInOrderOneAtATime()
{
    const QStringList paths{"/a", "/b", "/c"};
    for (const QString &path : paths) {
        FixtureReply reply = replyWith(path.toUtf8() + " answer");
        reply.held = true;
        m_server->setReply(path, reply);
    }
    QSignalSpy startedSpy(m_api, &PromotionNetworkAPI::xmlFetchingStarted);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    int maxInFlight = 0;
    QObject context;
    connect(m_server, &HttpFixtureServer::requestReceived, &context, [&] {
        maxInFlight = qMax(maxInFlight, m_server->requestCount() - int(downloadedSpy.count()));
    });

    QList<int> ids;
    for (const QString &path : paths)
        ids.append(m_api->fetchXml(m_server->url(path), 0));

    for (int i = 0; i < paths.size(); ++i) {
        QTRY_COMPARE(m_server->heldCount(), 1);
        QCOMPARE(m_server->requests().at(i).target, paths.at(i).toUtf8());
        m_server->releaseHeld();
        QTRY_COMPARE(downloadedSpy.count(), i + 1);
    }
    QCOMPARE(maxInFlight, 1);
    QCOMPARE(idsOf(startedSpy), ids);
    QCOMPARE(idsOf(downloadedSpy), ids);
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(m_api->getXmlData(ids.at(i)), paths.at(i).toUtf8() + " answer");
}

void TestPromotionNetworkAPI::sameUrlQueuedTwice_data()
{
    QTest::addColumn<QString>("second");
    // URLs that differ only in letter case are two entries sharing one cache file.
    QTest::newRow("same url") << "/artist";
    QTest::newRow("letter case differs") << "/ARTIST";
}

void TestPromotionNetworkAPI::sameUrlQueuedTwice()
{
    QFETCH(QString, second);
    m_server->setHandler([](const FixtureRequest &request) { return replyWith(request.target); });
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int first = m_api->fetchXml(m_server->url("/artist"), 0);
    const int other = m_api->fetchXml(m_server->url(second), 0);
    QVERIFY(first != other);

    QTRY_COMPARE(downloadedSpy.count(), 2);
    QCOMPARE(m_server->requestCount(), 1);
    QList<int> announced = idsOf(downloadedSpy);
    std::sort(announced.begin(), announced.end());
    QCOMPARE(announced, QList<int>({first, other}));
    QCOMPARE(m_api->getXmlData(first), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(other), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(first), QByteArray());
}

void TestPromotionNetworkAPI::answeredEntryAnswersLateRequester()
{
    m_server->setReply("/x", replyWith("answer"));
    QSignalSpy startedSpy(m_api, &PromotionNetworkAPI::xmlFetchingStarted);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    const int early = m_api->fetchXml(m_server->url("/x"), 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);

    const int late = m_api->fetchXml(m_server->url("/x"), 0);
    QTRY_COMPARE(downloadedSpy.count(), 2);
    QCOMPARE(idsOf(downloadedSpy), QList<int>({early, late}));
    QCOMPARE(idsOf(startedSpy), QList<int>({early}));
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_api->getXmlData(late), QByteArray("answer"));
    QCOMPARE(m_api->getXmlData(early), QByteArray("answer"));
}

void TestPromotionNetworkAPI::cacheFreshness_data()
{
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<bool>("fresh");
    const QDate today = QDate::currentDate();
    QTest::newRow("written just now") << QDateTime::currentDateTime() << true;
    QTest::newRow("yesterday just after midnight")
        << QDateTime(today.addDays(-1), QTime(0, 0, 1)) << true;
    QTest::newRow("two days ago just before midnight")
        << QDateTime(today.addDays(-2), QTime(23, 59, 59)) << false;
    QTest::newRow("a week ago") << QDateTime(today.addDays(-7), QTime(12, 0)) << false;
}

void TestPromotionNetworkAPI::cacheFreshness()
{
    QFETCH(QDateTime, written);
    QFETCH(bool, fresh);
    const QString url = m_server->url("/search");
    m_server->setReply("/search", replyWith("from network"));
    writeFile(CacheFolder::filePath("queries", url), "from cache", written);
    QSignalSpy startedSpy(m_api, &PromotionNetworkAPI::xmlFetchingStarted);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    const QByteArray expected = fresh ? "from cache" : "from network";
    QCOMPARE(m_api->getXmlData(id), expected);
    QCOMPARE(startedSpy.count(), fresh ? 0 : 1);
    QCOMPARE(m_server->requestCount(), fresh ? 0 : 1);
    QCOMPARE(readFile(CacheFolder::filePath("queries", url)), expected);
}

void TestPromotionNetworkAPI::cacheFileNameIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("capitals") << "http://store.invalid/Search?Q=ABBA"
                              << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("small letters") << "http://store.invalid/search?q=abba"
                                   << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("empty") << "" << "d41d8cd98f00b204e9800998ecf8427e";
}

void TestPromotionNetworkAPI::cacheFileNameIgnoresLetterCase()
{
    QFETCH(QString, url);
    QFETCH(QString, fileName);
    writeFile(CacheFolder::folder("queries") + fileName, "cached", QDateTime::currentDateTime());
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    QSignalSpy errorSpy(m_api, &PromotionNetworkAPI::errorOccurred);

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(errorSpy.count(), 0);
    QCOMPARE(m_api->getXmlData(id), QByteArray("cached"));
}

void TestPromotionNetworkAPI::emptyCacheFileIsAMiss()
{
    const QString url = m_server->url("/empty");
    m_server->setReply("/empty", replyWith("downloaded"));
    writeFile(CacheFolder::filePath("queries", url), QByteArray(), QDateTime::currentDateTime());
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray("downloaded"));
    QCOMPARE(readFile(CacheFolder::filePath("queries", url)), QByteArray("downloaded"));
}

void TestPromotionNetworkAPI::emptyAnswerIsAnnouncedOnce()
{
    m_server->setReply("/empty", replyWith(QByteArray()));
    m_server->setReply("/next", replyWith("next"));
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int empty = m_api->fetchXml(m_server->url("/empty"), 0);
    const int next = m_api->fetchXml(m_server->url("/next"), 0);
    QTRY_COMPARE(downloadedSpy.count(), 2);
    QCOMPARE(idsOf(downloadedSpy), QList<int>({empty, next}));
    QCOMPARE(m_server->requestCount("/empty"), 1);
    QCOMPARE(m_api->getXmlData(empty), QByteArray());
    QCOMPARE(m_api->getXmlData(next), QByteArray("next"));
}

void TestPromotionNetworkAPI::offline_data()
{
    QTest::addColumn<bool>("sessionRequired");
    QTest::addColumn<bool>("sessionOpens");
    QTest::addColumn<bool>("reportsNoConnection");
    QTest::newRow("connects on its own") << false << true << true;
    QTest::newRow("session opens") << true << true << false;
    QTest::newRow("session does not open") << true << false << true;
}

void TestPromotionNetworkAPI::offline()
{
    QFETCH(bool, sessionRequired);
    QFETCH(bool, sessionOpens);
    QFETCH(bool, reportsNoConnection);
    m_bearer.setOnline(false);
    m_bearer.setSessionRequired(sessionRequired);
    m_bearer.setSessionOpens(sessionOpens);
    m_server->setReply("/q", replyWith("answer"));
    QSignalSpy errorSpy(m_api, &PromotionNetworkAPI::errorOccurred);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int id = m_api->fetchXml(m_server->url("/q"), 0);
    if (reportsNoConnection) {
        // Every queue check reports it again while the entry waits.
        QTRY_VERIFY(errorSpy.count() >= 1);
        for (const QList<QVariant> &error : std::as_const(errorSpy))
            QCOMPARE(error, QList<QVariant>({id, "NO_INTERNET_CONNECTION", 0}));
        QCOMPARE(m_server->requestCount(), 0);
        m_bearer.setOnline(true);
    }
    const qsizetype errorsWhileOffline = errorSpy.count();
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(downloadedSpy.at(0).at(0).toInt(), id);
    QCOMPARE(m_api->getXmlData(id), QByteArray("answer"));
    QCOMPARE(errorSpy.count(), errorsWhileOffline);
    QCOMPARE(m_bearer.sessionOpenCount() > 0, sessionRequired);
    if (sessionRequired)
        QCOMPARE(m_bearer.lastSessionProperties().value("ConnectInBackground"), QVariant(true));
}

void TestPromotionNetworkAPI::downloadErrors_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("closeAfterBytes");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("not found") << 404 << -1 << false << int(QNetworkReply::ContentNotFoundError)
                               << "Not Found";
    QTest::newRow("server error") << 500 << -1 << false
                                  << int(QNetworkReply::InternalServerError)
                                  << "Internal Server Error";
    QTest::newRow("closed mid-body") << 200 << 10 << false
                                     << int(QNetworkReply::RemoteHostClosedError) << "";
    QTest::newRow("connection refused") << 200 << -1 << true
                                        << int(QNetworkReply::ConnectionRefusedError) << "";
}

void TestPromotionNetworkAPI::downloadErrors()
{
    QFETCH(int, status);
    QFETCH(int, closeAfterBytes);
    QFETCH(bool, refused);
    QFETCH(int, code);
    QFETCH(QString, text);
    FixtureReply reply = replyWith(QByteArray(100, 'x'));
    reply.status = status;
    reply.closeAfterBytes = closeAfterBytes;
    m_server->setReply("/q", reply);
    QString url = m_server->url("/q");
    if (refused) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        url = QStringLiteral("http://127.0.0.1:%1/q").arg(closed.serverPort());
    }
    QSignalSpy errorSpy(m_api, &PromotionNetworkAPI::errorOccurred);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(errorSpy.count(), 1);
    QCOMPARE(errorSpy.at(0).at(0).toInt(), id);
    QCOMPARE(errorSpy.at(0).at(2).toInt(), code);
    const QString errorString = errorSpy.at(0).at(1).toString();
    QVERIFY2(!errorString.isEmpty() && errorString.contains(text), qPrintable(errorString));
    QCOMPARE(downloadedSpy.count(), 0);
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url)));

    // The failed entry left the queue: the same URL is downloaded afresh.
    QCOMPARE(m_api->getXmlData(id), QByteArray());
    if (!refused) {
        m_server->setReply("/q", replyWith("fine now"));
        const int again = m_api->fetchXml(url, 0);
        QTRY_COMPARE(downloadedSpy.count(), 1);
        QCOMPARE(m_api->getXmlData(again), QByteArray("fine now"));
        QCOMPARE(m_server->requestCount(), 2);
    }
}

void TestPromotionNetworkAPI::cancelEmitsNothingAndFreesQueue()
{
    FixtureReply slow = replyWith("slow");
    slow.held = true;
    m_server->setReply("/slow", slow);
    m_server->setReply("/next", replyWith("next"));
    QSignalSpy errorSpy(m_api, &PromotionNetworkAPI::errorOccurred);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int cancelled = m_api->fetchXml(m_server->url("/slow"), 0);
    const int next = m_api->fetchXml(m_server->url("/next"), 0);
    QTRY_COMPARE(m_server->heldCount(), 1);
    m_api->cancel(cancelled);
    m_server->releaseHeld();

    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(downloadedSpy.at(0).at(0).toInt(), next);
    QCOMPARE(m_api->getXmlData(next), QByteArray("next"));
    QCOMPARE(m_api->getXmlData(cancelled), QByteArray());
    QCOMPARE(errorSpy.count(), 0);
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", m_server->url("/slow"))));
}

void TestPromotionNetworkAPI::stalledServerTimesOut_data()
{
    QTest::addColumn<bool>("drip");
    QTest::addColumn<int>("transferTimeout");
    QTest::addColumn<int>("deadline");
    QTest::newRow("no bytes at all") << false << 200 << 60000;
    QTest::newRow("a byte now and then") << true << 5000 << 400;
}

void TestPromotionNetworkAPI::stalledServerTimesOut()
{
    QFETCH(bool, drip);
    QFETCH(int, transferTimeout);
    QFETCH(int, deadline);
    m_api->setTransferTimeout(transferTimeout);
    m_api->setDownloadDeadline(deadline);
    FixtureReply stalled = replyWith(QByteArray(5000, 'x'));
    stalled.stall = !drip;
    stalled.dripIntervalMs = drip ? 40 : 0;
    m_server->setReply("/stalled", stalled);
    m_server->setReply("/next", replyWith("next"));
    QSignalSpy errorSpy(m_api, &PromotionNetworkAPI::errorOccurred);
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int stalledId = m_api->fetchXml(m_server->url("/stalled"), 0);
    const int next = m_api->fetchXml(m_server->url("/next"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(errorSpy.count(), 1, 20000);
    QCOMPARE(errorSpy.at(0).at(0).toInt(), stalledId);
    QCOMPARE(errorSpy.at(0).at(2).toInt(), int(QNetworkReply::TimeoutError));
    QVERIFY(errorSpy.at(0).at(1).toString().contains("timed out"));

    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(downloadedSpy.at(0).at(0).toInt(), next);
    QCOMPARE(m_api->getXmlData(next), QByteArray("next"));
}

void TestPromotionNetworkAPI::failedCacheWriteIsNeverServed_data()
{
    QTest::addColumn<int>("bodySize");
    QTest::newRow("write kept in the buffer") << 8000;
    QTest::newRow("write straight to the file") << 300000;
}

void TestPromotionNetworkAPI::failedCacheWriteIsNeverServed()
{
    QFETCH(int, bodySize);
    const QByteArray body(bodySize, 'a');
    const QString url = m_server->url("/big");
    m_server->setReply("/big", replyWith(body));
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^void PromotionNetworkAPI::saveQuery\\(const "
                                            "QString&, const QByteArray&\\) const  - Failed to "
                                            "write data:  \"Not all data could be written\"$"));
    int id;
    {
        const FileSizeLimit limit(1024);
        id = m_api->fetchXml(url, 0);
        QTRY_COMPARE(downloadedSpy.count(), 1);
    }
    QCOMPARE(m_api->getXmlData(id), body);
    QCOMPARE(QDir(CacheFolder::folder("queries")).entryList(QDir::Files | QDir::Hidden), QStringList());

    const int again = m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 2);
    QCOMPARE(m_server->requestCount(), 2);
    QCOMPARE(m_api->getXmlData(again), body);
    QCOMPARE(readFile(CacheFolder::filePath("queries", url)), body);
}

void TestPromotionNetworkAPI::baseDirectoryWithoutQueries()
{
    delete m_api;
    m_api = nullptr;
    QDir(CacheFolder::path()).removeRecursively();
    QVERIFY(QDir().mkpath(CacheFolder::folder("images")));
    recreateService();
    m_server->setReply("/q", replyWith("answer"));
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^void PromotionNetworkAPI::saveQuery\\(const "
                                            "QString&, const QByteArray&\\) const  - Failed to "
                                            "open cache file:  \".+\"$"));

    const int id = m_api->fetchXml(m_server->url("/q"), 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray("answer"));
    QVERIFY(!QDir(CacheFolder::folder("queries")).exists());
}

void TestPromotionNetworkAPI::releaseCache()
{
    const QString url = m_server->url("/q");
    m_server->setReply("/q", replyWith("answer"));
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);
    m_api->getXmlData(m_api->fetchXml(url, 0));
    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    m_api->getXmlData(id);
    QVERIFY(QFile::exists(CacheFolder::filePath("queries", url)));

    recordedMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    m_api->releaseCache(url);
    m_api->releaseCache(m_server->url("/never-cached"));
    qInstallMessageHandler(previous);
    QCOMPARE(recordedMessages, QStringList());
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url)));

    m_api->fetchXml(url, 0);
    QTRY_COMPARE(downloadedSpy.count(), 2);
    QCOMPARE(m_server->requestCount(), 2);
}

void TestPromotionNetworkAPI::proxyFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("unset") << QByteArray() << int(QNetworkProxy::DefaultProxy) << "" << 0;
    QTest::newRow("host and port") << QByteArray("http://10.1.2.3:3128")
                                   << int(QNetworkProxy::HttpProxy) << "10.1.2.3" << 3128;
    QTest::newRow("capital scheme, no scheme twice")
        << QByteArray("HTTP://proxy.example:8080") << int(QNetworkProxy::HttpProxy)
        << "proxy.example" << 8080;
    QTest::newRow("port not a number") << QByteArray("http://proxy.example:8080/")
                                       << int(QNetworkProxy::HttpProxy) << "proxy.example" << 0;
    QTest::newRow("port out of range") << QByteArray("proxy.example:99999")
                                       << int(QNetworkProxy::HttpProxy) << "proxy.example" << 0;
    QTest::newRow("no colon") << QByteArray("http://proxy.example")
                              << int(QNetworkProxy::NoProxy) << "" << 0;
    QTest::newRow("colon first") << QByteArray(":3128") << int(QNetworkProxy::NoProxy) << ""
                                 << 0;
    QTest::newRow("invalid host") << QByteArray("http://[::1:3128")
                                  << int(QNetworkProxy::DefaultProxy) << "" << 0;
}

void TestPromotionNetworkAPI::proxyFromEnvironment()
{
    QFETCH(QByteArray, value);
    QFETCH(int, type);
    QFETCH(QString, host);
    QFETCH(int, port);
    if (value.isNull())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", value);
    recreateService();
    qunsetenv("http_proxy");

    const QNetworkProxy proxy = m_api->proxy();
    QCOMPARE(int(proxy.type()), type);
    QCOMPARE(proxy.hostName(), host);
    QCOMPARE(int(proxy.port()), port);
}

void TestPromotionNetworkAPI::proxyCarriesRequests()
{
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(m_server->port()).toUtf8());
    recreateService();
    qunsetenv("http_proxy");
    m_server->setReply("http://store.invalid/search", replyWith("through the proxy"));
    QSignalSpy downloadedSpy(m_api, &PromotionNetworkAPI::xmlDownloaded);

    const int id = m_api->fetchXml("http://store.invalid/search", 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray("through the proxy"));
}

void TestPromotionNetworkAPI::pictureIsStoredAsThumbnail_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("small jpeg") << QSize(120, 120) << QByteArray("JPEG");
    QTest::newRow("png") << QSize(90, 200) << QByteArray("PNG");
    QTest::newRow("camera jpeg") << QSize(3000, 2250) << QByteArray("JPEG");
    QTest::newRow("huge jpeg") << QSize(7000, 7000) << QByteArray("JPEG");
}

void TestPromotionNetworkAPI::pictureIsStoredAsThumbnail()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    FixtureReply picture = replyWith(HttpFixtureServer::imageBytes(size, format.constData()));
    picture.contentType = "image/" + format.toLower();
    m_server->setReply("/art.img", picture);
    const QString url = m_server->url("/art.img");
    QSignalSpy imageSpy(m_api, &PromotionNetworkAPI::imageDownloaded);

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    QTRY_COMPARE(imageSpy.count(), 1);
    const QString path = imageSpy.at(0).at(1).toString();
    QCOMPARE(imageSpy.at(0).at(0).toString(), url);
    QCOMPARE(path, CacheFolder::filePath("images", url));
    QCOMPARE(m_server->requestCount(), 1);

    QImageReader stored(path);
    QCOMPARE(stored.format(), QByteArray("jpeg"));
    QCOMPARE(stored.size(), QSize(80, 80));
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(m_server->requestCount(), 1);
}

void TestPromotionNetworkAPI::nonSquarePictureIsStretched()
{
    // A green band on the left sixth survives stretching but not cropping.
    QImage wide(300, 120, QImage::Format_RGB32);
    wide.fill(Qt::red);
    for (int y = 0; y < wide.height(); ++y) {
        for (int x = 0; x < 50; ++x)
            wide.setPixel(x, y, qRgb(0, 255, 0));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(wide.save(&buffer, "PNG"));
    m_server->setReply("/wide.png", replyWith(bytes));
    QSignalSpy imageSpy(m_api, &PromotionNetworkAPI::imageDownloaded);

    m_api->getArtOfMusicItem(m_server->url("/wide.png"));
    QTRY_COMPARE(imageSpy.count(), 1);
    const QImage thumbnail(imageSpy.at(0).at(1).toString());
    QCOMPARE(thumbnail.size(), QSize(80, 80));
    for (int y : {2, 40, 77}) {
        QVERIFY(qGreen(thumbnail.pixel(4, y)) > 200 && qRed(thumbnail.pixel(4, y)) < 60);
        QVERIFY(qRed(thumbnail.pixel(60, y)) > 200 && qGreen(thumbnail.pixel(60, y)) < 60);
    }
}

void TestPromotionNetworkAPI::pictureFailureAllowsRetry_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("not an image") << 200 << QByteArray("<html>no picture here</html>")
                                  << "^void PromotionNetworkAPI::saveImage\\(QNetworkReply\\*\\)  "
                                     "- Failed to load image!$";
    QTest::newRow("absurd declared size")
        << 200 << absurdBitmap()
        << "^void PromotionNetworkAPI::saveImage\\(QNetworkReply\\*\\)  - Failed to load image!$";
    QTest::newRow("not found") << 404 << QByteArray("gone")
                               << "^\".*Not Found.*\" "
                                  + QString::number(QNetworkReply::ContentNotFoundError) + "$";
}

void TestPromotionNetworkAPI::pictureFailureAllowsRetry()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    int served = 0;
    m_server->setHandler([&served, status, body](const FixtureRequest &) {
        FixtureReply reply = replyWith(body);
        reply.status = status;
        if (served++ > 0)
            reply = replyWith(HttpFixtureServer::imageBytes(QSize(100, 100)));
        return reply;
    });
    const QString url = m_server->url("/art");
    QSignalSpy imageSpy(m_api, &PromotionNetworkAPI::imageDownloaded);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));

    m_api->getArtOfMusicItem(url);
    QTRY_VERIFY((m_api->getArtOfMusicItem(url), m_server->requestCount() == 2));
    QTRY_COMPARE(imageSpy.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(imageSpy.count(), 1);
    QCOMPARE(QImage(CacheFolder::filePath("images", url)).size(), QSize(80, 80));
}

void TestPromotionNetworkAPI::stalePictureIsDownloadedAgain()
{
    const QString url = m_server->url("/art");
    const QString path = CacheFolder::filePath("images", url);
    m_server->setReply("/art", replyWith(HttpFixtureServer::imageBytes(QSize(100, 100))));
    writeFile(path, "old picture", QDateTime::currentDateTime().addDays(-3));
    QSignalSpy imageSpy(m_api, &PromotionNetworkAPI::imageDownloaded);

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    QTRY_COMPARE(imageSpy.count(), 1);
    QCOMPARE(QImage(path).size(), QSize(80, 80));
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(m_server->requestCount(), 1);
}

QTEST_MAIN(TestPromotionNetworkAPI)
#include "tst_promotionnetworkapi.moc"
