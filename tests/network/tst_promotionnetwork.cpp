#include <QSignalSpy>
#include <QtTest>

#include "cachefolder.h"
#include "panelfixture.h"
#include "promotionnetwork.h"
#include "promotionnetworkapi.h"
#include "storehttprequest.h"
#include "testfiles.h"

class tst_PromotionNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void idleChannel();
    void secondFetchReplacesFirst();
    void errorIsReportedOnce();
    void interleavedChannelsGetTheirOwnAnswers_data();
    void interleavedChannelsGetTheirOwnAnswers();
    void twoChannelsOnOneUrl_data();
    void twoChannelsOnOneUrl();

private:
    QString url(const QString &path) const { return m_fixture.store().baseUrl() + path; }

    PanelFixture m_fixture;
};

void tst_PromotionNetwork::initTestCase()
{
    QVERIFY(m_fixture.start());
    m_fixture.store().setHandler(QString(), [](const StoreHttpRequest &request) {
        return StoreServer::Answer {
            200, "application/atom+xml", "answer for " + request.url.path().toUtf8(), {}
        };
    });
}

void tst_PromotionNetwork::init()
{
    m_fixture.reset();
}

void tst_PromotionNetwork::cleanup()
{
    delete PromotionNetworkAPI::instance();
}

void tst_PromotionNetwork::idleChannel()
{
    PromotionNetwork channel;
    QCOMPARE(channel.getXmlData(), QByteArray());
    channel.cancel();
    QCOMPARE(channel.getXmlData(), QByteArray());
}

void tst_PromotionNetwork::secondFetchReplacesFirst()
{
    PromotionNetwork channel;
    QSignalSpy downloadedSpy(&channel, &PromotionNetwork::xmlDownloaded);
    QSignalSpy startedSpy(&channel, &PromotionNetwork::xmlFetchingStarted);
    channel.fetchXml(url("/first"), 0);
    channel.fetchXml(url("/second"), 0);

    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(startedSpy.count(), 1);
    QCOMPARE(channel.getXmlData(), QByteArray("answer for /second"));
    QCOMPARE(m_fixture.store().requestLog().size(), 1);
}

void tst_PromotionNetwork::errorIsReportedOnce()
{
    m_fixture.bearer().setOnline(false);
    PromotionNetwork channel;
    QSignalSpy errorSpy(&channel, &PromotionNetwork::errorOccurred);
    QSignalSpy downloadedSpy(&channel, &PromotionNetwork::xmlDownloaded);
    channel.fetchXml(url("/q"), 0);
    QTRY_COMPARE(errorSpy.count(), 1);
    QCOMPARE(errorSpy.at(0), QList<QVariant>({ "NO_INTERNET_CONNECTION", 0 }));

    // The entry stays queued and keeps failing at each check, unheard by the channel.
    QSignalSpy serviceErrorSpy(PromotionNetworkAPI::instance(),
                               &PromotionNetworkAPI::errorOccurred);
    PromotionNetworkAPI::instance()->fetchXml(url("/other"), 0);
    QTRY_VERIFY(serviceErrorSpy.count() >= 1);
    QCoreApplication::processEvents();
    QCOMPARE(errorSpy.count(), 1);

    m_fixture.bearer().setOnline(true);
    channel.fetchXml(url("/q"), 0);
    QTRY_COMPARE(downloadedSpy.count(), 1);
    QCOMPARE(channel.getXmlData(), QByteArray("answer for /q"));
    QCOMPARE(errorSpy.count(), 1);
}

void tst_PromotionNetwork::interleavedChannelsGetTheirOwnAnswers_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("cancelled");
    QTest::addColumn<QList<QByteArray>>("received");
    const QStringList three { "/a", "/b", "/c" };
    const QByteArray a = "answer for /a";
    const QByteArray b = "answer for /b";
    const QByteArray c = "answer for /c";
    QTest::newRow("all three take their answers") << three << -1 << QList<QByteArray> { a, b, c };
    QTest::newRow("first panel cancels") << three << 0 << QList<QByteArray> { {}, b, c };
    QTest::newRow("middle panel cancels") << three << 1 << QList<QByteArray> { a, {}, c };
    QTest::newRow("one of two on one url cancels")
            << QStringList { "/a", "/a", "/c" } << 0 << QList<QByteArray> { {}, a, c };
}

void tst_PromotionNetwork::interleavedChannelsGetTheirOwnAnswers()
{
    QFETCH(QStringList, paths);
    QFETCH(int, cancelled);
    QFETCH(QList<QByteArray>, received);
    m_fixture.store().addFault(StoreFault(StoreFault::Kind::Hold, "/a"));
    QObject owner;
    QList<PromotionNetwork *> channels;
    QList<QByteArray> answers(paths.size());
    for (int i = 0; i < paths.size(); ++i) {
        auto *channel = new PromotionNetwork(&owner);
        channels.append(channel);
        // Each answer is taken once; a second announcement would append it again.
        connect(channel, &PromotionNetwork::xmlDownloaded, channel,
                [&answers, channel, i] { answers[i] += channel->getXmlData(); });
        channel->fetchXml(url(paths.at(i)), 0);
    }

    QTRY_COMPARE(m_fixture.store().heldCount(), 1);
    PromotionNetwork idle;
    channels.value(cancelled, &idle)->cancel();
    m_fixture.store().releaseHeld();
    QTRY_COMPARE(answers, received);
    QCoreApplication::processEvents();
    QCOMPARE(answers, received);
}

void tst_PromotionNetwork::twoChannelsOnOneUrl_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<int>("started");
    QTest::newRow("downloaded") << QByteArray() << 1;
    QTest::newRow("from the cache") << QByteArray("answer for /shared") << 0;
}

void tst_PromotionNetwork::twoChannelsOnOneUrl()
{
    QFETCH(QByteArray, cached);
    QFETCH(int, started);
    QVERIFY(QDir().mkpath(CacheFolder::folder("queries"))
            && TestFiles::write(CacheFolder::filePath("queries", url("/shared")), cached));
    PromotionNetwork first;
    PromotionNetwork second;
    QSignalSpy firstSpy(&first, &PromotionNetwork::xmlDownloaded);
    QSignalSpy secondSpy(&second, &PromotionNetwork::xmlDownloaded);
    QSignalSpy secondStartedSpy(&second, &PromotionNetwork::xmlFetchingStarted);
    first.fetchXml(url("/shared"), 0);
    second.fetchXml(url("/shared"), 0);

    QTRY_COMPARE(firstSpy.count(), 1);
    QCOMPARE(first.getXmlData(), QByteArray("answer for /shared"));
    QTRY_COMPARE(secondSpy.count(), 1);
    QCOMPARE(second.getXmlData(), QByteArray("answer for /shared"));
    QCOMPARE(m_fixture.store().requestLog().size(), started);
    QCOMPARE(secondStartedSpy.count(), started);
    QCoreApplication::processEvents();
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 1);
}

QTEST_MAIN(tst_PromotionNetwork)
#include "tst_promotionnetwork.moc"
