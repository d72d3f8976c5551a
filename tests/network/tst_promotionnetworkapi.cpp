// The network service as a whole: online or brought online, its cache
// folders made and trimmed, and the environment's proxy.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

#include "cachefolder.h"
#include "environmentproxyfactory.h"
#include "messagerecorder.h"
#include "networkservicetest.h"
#include "storehttprequest.h"
#include "testfiles.h"

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

// Variables to set, as a table writes them: " ; " between them.
QByteArrayList environmentOf(const QString &entries)
{
    QByteArrayList environment;
    for (const QString &entry : entries.split(QStringLiteral(" ; "), Qt::SkipEmptyParts))
        environment.append(entry.toUtf8());
    return environment;
}

} // namespace

class tst_PromotionNetworkAPI : public NetworkServiceTest
{
    Q_OBJECT

private slots:
    void offline_data();
    void offline();
    void newDefaultConfigurationGetsNewSession();
    void missingCacheFolders_data();
    void missingCacheFolders();
    void cacheIsTrimmed_data();
    void cacheIsTrimmed();
    void cacheIsTrimmedAgainAfterWrites();
    void proxyFromEnvironment_data();
    void proxyFromEnvironment();
    void proxyCarriesRequests_data();
    void proxyCarriesRequests();
    void hostsReachedDirectly_data();
    void hostsReachedDirectly();

private:
    // Sets NAME=value entries, PORT in a value standing for port, for a new service only.
    void setEnvironment(const QByteArrayList &environment, quint16 port);
};

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

// A host runs for days: the trim comes again after a hundred files written.
void tst_PromotionNetworkAPI::cacheIsTrimmedAgainAfterWrites()
{
    const QString queries = CacheFolder::folder(QStringLiteral("queries"));
    const auto plantOld = [&queries](QChar letter) {
        QFile file(queries + QString(32, letter));
        return file.open(QIODevice::WriteOnly)
                && file.setFileTime(QDateTime::currentDateTime().addDays(-40),
                                    QFileDevice::FileModificationTime);
    };
    delete m_api;
    m_api = nullptr;
    QVERIFY(plantOld(QLatin1Char('a')));
    recreateService();
    // Gone: the trim at the start has passed the folder.
    QTRY_VERIFY(!QFile::exists(queries + QString(32, QLatin1Char('a'))));
    QVERIFY(plantOld(QLatin1Char('b')));

    m_server->setHandler(QString(), [](const StoreHttpRequest &) { return answerWith("<feed/>"); });
    const int writes = 100;
    for (int i = 0; i < writes; ++i)
        m_api->fetchXml(url(QStringLiteral("/answer%1").arg(i)), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_spies->downloaded.count(), writes, 30000);
    QTRY_VERIFY(!QFile::exists(queries + QString(32, QLatin1Char('b'))));
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
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/proxy-environments.tsv"))) {
        QTest::newRow(qPrintable(row["tag"]))
                << environmentOf(row["environment"]) << types.value(row["type"], -1) << row["host"]
                << row["port"].toInt() << row["debug lines"].toInt() << row["user"]
                << row["password"];
    }
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
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/proxied-requests.tsv"))) {
        QTest::newRow(qPrintable(row["tag"]))
                << environmentOf(row["environment"]) << row["host"] << row["credentials"].toLatin1()
                << row["body"].toUtf8();
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
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/no-proxy.tsv"))) {
        QTest::newRow(qPrintable(row["tag"]))
                << row["variable"].toLatin1() << row["value"].toUtf8() << row["host"]
                << (row["direct"] == QLatin1String("true"));
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

QTEST_MAIN(tst_PromotionNetworkAPI)
#include "tst_promotionnetworkapi.moc"
