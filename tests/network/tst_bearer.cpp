#include <QSignalSpy>
#include <QtTest>

#include "networkconfigurationmanager.h"
#include "networksession.h"
#include "simulatedbearerbackend.h"

class tst_Bearer : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void systemBackendConnectsOnItsOwn();
    void simulatedOnlineStateReachesManager();
    void sessionOpensThroughBackend_data();
    void sessionOpensThroughBackend();
};

void tst_Bearer::cleanup()
{
    BearerBackend::install(nullptr);
}

void tst_Bearer::systemBackendConnectsOnItsOwn()
{
    // The test runs without a system bus, so no reachability backend can load:
    // that must count as online, and nothing ever asks for a session.
    NetworkConfigurationManager manager;
    QVERIFY(manager.isOnline());
    QVERIFY(!manager.capabilities().testFlag(NetworkConfigurationManager::NetworkSessionRequired));
    QVERIFY(manager.defaultConfiguration().isValid());
}

void tst_Bearer::simulatedOnlineStateReachesManager()
{
    SimulatedBearerBackend backend;
    BearerBackend::install(&backend);
    NetworkConfigurationManager manager;
    QSignalSpy onlineSpy(&manager, &NetworkConfigurationManager::onlineStateChanged);

    backend.setOnline(false);
    backend.setOnline(false);
    backend.setSessionRequired(true);
    QCOMPARE(onlineSpy.count(), 1);
    QCOMPARE(onlineSpy.at(0).at(0).toBool(), false);
    QVERIFY(!manager.isOnline());
    QVERIFY(manager.capabilities().testFlag(NetworkConfigurationManager::NetworkSessionRequired));

    backend.setOnline(true);
    QCOMPARE(onlineSpy.count(), 2);
    QVERIFY(manager.isOnline());
}

void tst_Bearer::sessionOpensThroughBackend_data()
{
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("callOpen");
    QTest::newRow("opens") << true << true;
    QTest::newRow("fails") << false << true;
    QTest::newRow("never asked to open") << true << false;
}

void tst_Bearer::sessionOpensThroughBackend()
{
    QFETCH(bool, opens);
    QFETCH(bool, callOpen);
    SimulatedBearerBackend backend;
    backend.setOnline(false);
    backend.setSessionOpens(opens);
    BearerBackend::install(&backend);
    NetworkConfigurationManager manager;

    NetworkSession session(manager.defaultConfiguration());
    session.setSessionProperty("ConnectInBackground", true);
    if (callOpen)
        session.open();
    QCOMPARE(session.waitForOpened(100), opens && callOpen);
    QCOMPARE(manager.isOnline(), opens && callOpen);
    QCOMPARE(backend.sessionOpenCount(), callOpen ? 1 : 0);
    if (callOpen)
        QCOMPARE(backend.lastSessionProperties().value("ConnectInBackground"), QVariant(true));
}

QTEST_GUILESS_MAIN(tst_Bearer)
#include "tst_bearer.moc"
