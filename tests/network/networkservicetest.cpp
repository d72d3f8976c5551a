#include "networkservicetest.h"

#include <QDir>
#include <QTest>

#include <algorithm>

#include "cachefolder.h"
#include "storehttprequest.h"

namespace {

const char *const proxyVariables[] = { "http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY" };

} // namespace

NetworkConfiguration NetworkServiceTest::SwitchingBearerBackend::defaultConfiguration() const
{
    return NetworkConfiguration(preferred);
}

bool NetworkServiceTest::SwitchingBearerBackend::openSession(
        const NetworkConfiguration &configuration, const QVariantMap &properties, int msecs)
{
    openedFor.append(configuration.identifier());
    return SimulatedBearerBackend::openSession(configuration, properties, msecs);
}

NetworkServiceTest::Spies::Spies(PromotionNetworkAPI *api)
    : started(api, &PromotionNetworkAPI::xmlFetchingStarted),
      downloaded(api, &PromotionNetworkAPI::xmlDownloaded),
      error(api, &PromotionNetworkAPI::errorOccurred),
      image(api, &PromotionNetworkAPI::imageDownloaded)
{ }

StoreServer::Answer NetworkServiceTest::answerWith(const QByteArray &body)
{
    return { 200, "application/atom+xml", body, {} };
}

StoreFault NetworkServiceTest::fault(Kind kind, const QString &path, int times)
{
    StoreFault result(kind, path);
    result.times = times;
    return result;
}

QList<int> NetworkServiceTest::idsOf(const QSignalSpy &spy)
{
    QList<int> ids;
    for (const QList<QVariant> &arguments : spy)
        ids.append(arguments.at(0).toInt());
    return ids;
}

void NetworkServiceTest::clearProxyEnvironment()
{
    for (const char *name : proxyVariables)
        qunsetenv(name);
}

void NetworkServiceTest::initTestCase()
{
    BearerBackend::install(&m_bearer);
}

void NetworkServiceTest::init()
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

void NetworkServiceTest::cleanup()
{
    m_spies.reset();
    delete m_api;
    m_api = nullptr;
    delete m_server;
    m_server = nullptr;
}

void NetworkServiceTest::recreateService()
{
    delete m_api;
    m_api = PromotionNetworkAPI::instance();
    m_spies = std::make_unique<Spies>(m_api);
    m_api->setTransferTimeout(10000);
    m_api->setDownloadDeadline(20000);
}

void NetworkServiceTest::serve(const QString &path, const QByteArray &body)
{
    m_server->setHandler(path, [body](const StoreHttpRequest &) { return answerWith(body); });
}

int NetworkServiceTest::requestCount(const QString &path) const
{
    const QList<StoreRequest> log = m_server->requestLog();
    return int(std::count_if(log.cbegin(), log.cend(), [&path](const StoreRequest &request) {
        return path.isNull() || request.path == path;
    }));
}
