#include <QtTest>

#include "bearerbackend.h"
#include "networkconfigurationmanager.h"

// Sessions and the simulated backend are exercised through the network
// service's offline rows; what is left is the backend a handset really uses.
class tst_Bearer : public QObject
{
    Q_OBJECT

private slots:
    void systemBackendConnectsOnItsOwn();
};

void tst_Bearer::systemBackendConnectsOnItsOwn()
{
    BearerBackend::install(nullptr);
    // The test runs without a system bus, so no reachability backend can load:
    // that must count as online, and nothing ever asks for a session.
    NetworkConfigurationManager manager;
    QVERIFY(manager.isOnline());
    QVERIFY(!manager.capabilities().testFlag(NetworkConfigurationManager::NetworkSessionRequired));
    QVERIFY(manager.defaultConfiguration().isValid());
}

QTEST_GUILESS_MAIN(tst_Bearer)
#include "tst_bearer.moc"
