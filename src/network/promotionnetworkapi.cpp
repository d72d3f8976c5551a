#include "promotionnetworkapi.h"

#include <QDir>
#include <QNetworkAccessManager>

#include "answerqueue.h"
#include "cachetrimmer.h"
#include "environmentproxyfactory.h"
#include "networkconfigurationmanager.h"
#include "networksession.h"
#include "picturefetcher.h"

namespace {

// Far beyond any real store picture; anything larger is broken or hostile
// and never held whole.
const qint64 DefaultPictureSizeLimit = 4 * 1024 * 1024;
// A host runs for days: the cache is trimmed at the start and again after
// this many files have been written to it.
const int WritesBetweenTrims = 100;

} // namespace

PromotionNetworkAPI *PromotionNetworkAPI::m_instance = nullptr;

PromotionNetworkAPI *PromotionNetworkAPI::instance()
{
    if (!m_instance)
        m_instance = new PromotionNetworkAPI;
    return m_instance;
}

void PromotionNetworkAPI::shutDown()
{
    delete m_instance;
}

PromotionNetworkAPI::PromotionNetworkAPI(QObject *parent)
    : QObject(parent),
      m_configurationManager(new NetworkConfigurationManager(this)),
      m_answers(new AnswerQueue([this] { return m_isOnline || openInternetConnection(); }, this)),
      m_pictures(new PictureFetcher(this)),
      m_pictureSizeLimit(DefaultPictureSizeLimit)
{
    m_trimPool.setMaxThreadCount(1);
    prepareCacheDirectories();
    applyLimits();
    trimCache();

    connect(m_configurationManager, &NetworkConfigurationManager::onlineStateChanged, this,
            &PromotionNetworkAPI::changeOnlineState);
    connect(m_answers, &AnswerQueue::errorOccurred, this, &PromotionNetworkAPI::errorOccurred);
    connect(m_answers, &AnswerQueue::fetchingStarted, this,
            &PromotionNetworkAPI::xmlFetchingStarted);
    connect(m_answers, &AnswerQueue::downloaded, this, &PromotionNetworkAPI::xmlDownloaded);
    connect(m_answers, &AnswerQueue::cacheWritten, this, &PromotionNetworkAPI::countCacheWrite);
    connect(m_pictures, &PictureFetcher::pictureStored, this,
            &PromotionNetworkAPI::imageDownloaded);
    connect(m_pictures, &PictureFetcher::cacheWritten, this, &PromotionNetworkAPI::countCacheWrite);

    setProxyFromEnvironment();
    m_isOnline = m_configurationManager->isOnline();
}

PromotionNetworkAPI::~PromotionNetworkAPI()
{
    m_stopTrim = true;
    delete m_answers;
    delete m_pictures;
    m_trimPool.waitForDone();
    delete m_session;
    m_session = nullptr;
    if (m_instance == this)
        m_instance = nullptr;
}

void PromotionNetworkAPI::setTransferTimeout(int msecs)
{
    m_transferTimeout = msecs;
    applyLimits();
}

void PromotionNetworkAPI::setDownloadDeadline(int msecs)
{
    m_downloadDeadline = msecs;
    applyLimits();
}

void PromotionNetworkAPI::setAnswerSizeLimit(qint64 bytes)
{
    m_answerSizeLimit = bytes;
    applyLimits();
}

void PromotionNetworkAPI::setPictureSizeLimit(qint64 bytes)
{
    m_pictureSizeLimit = bytes;
    applyLimits();
}

void PromotionNetworkAPI::applyLimits()
{
    m_answers->setLimits({ m_transferTimeout, m_downloadDeadline, m_answerSizeLimit });
    m_pictures->setLimits({ m_transferTimeout, m_downloadDeadline, m_pictureSizeLimit });
}

QNetworkProxy PromotionNetworkAPI::proxy() const
{
    const QNetworkAccessManager *network = m_answers->network();
    const auto *factory = dynamic_cast<EnvironmentProxyFactory *>(network->proxyFactory());
    return factory ? factory->proxy() : network->proxy();
}

void PromotionNetworkAPI::setProxyFromEnvironment()
{
    const QNetworkProxy proxy = EnvironmentProxyFactory::proxyFromEnvironment();
    const QStringList directHosts = EnvironmentProxyFactory::directHostsFromEnvironment();
    for (QNetworkAccessManager *network : { m_answers->network(), m_pictures->network() }) {
        // Each manager owns its factory.
        if (proxy.type() == QNetworkProxy::HttpProxy)
            network->setProxyFactory(new EnvironmentProxyFactory(proxy, directHosts));
        else
            network->setProxy(proxy);
    }
}

int PromotionNetworkAPI::fetchXml(const QString &url, int delay)
{
    return m_answers->fetch(url, delay);
}

QByteArray PromotionNetworkAPI::getXmlData(int id)
{
    return m_answers->take(id);
}

void PromotionNetworkAPI::cancel(int id)
{
    m_answers->cancel(id);
}

void PromotionNetworkAPI::changeOnlineState(bool isOnline)
{
    m_isOnline = isOnline;
    m_answers->scheduleCheck();
}

bool PromotionNetworkAPI::openInternetConnection()
{
    if (!(m_configurationManager->capabilities()
          & NetworkConfigurationManager::NetworkSessionRequired)) {
        return false;
    }

    const NetworkConfiguration configuration = m_configurationManager->defaultConfiguration();
    if (m_session && m_session->configuration() != configuration) {
        delete m_session;
        m_session = nullptr;
    }
    if (!m_session)
        m_session = new NetworkSession(configuration);

    m_session->setSessionProperty(QStringLiteral("ConnectInBackground"), true);
    m_session->open();
    return m_session->waitForOpened(30000);
}

void PromotionNetworkAPI::prepareCacheDirectories()
{
    const QString basePath =
            QDir(QDir::homePath() + QStringLiteral("/.cache/raskrestapi/")).absolutePath();
    m_answers->setCacheFolder(basePath + QStringLiteral("/queries/"));
    m_pictures->setCacheFolder(basePath + QStringLiteral("/images/"));
}

QString PromotionNetworkAPI::imageCacheDirectory() const
{
    return m_pictures->canonicalCacheFolder();
}

void PromotionNetworkAPI::trimCache()
{
    m_writesSinceTrim = 0;
    const QStringList folders { m_answers->cacheFolder(), m_pictures->cacheFolder() };
    // At the normal priority: a thread that runs only when nothing else
    // wants the processor would keep a quitting host waiting for its stop.
    // A trim still running is not followed by another over the same folders.
    m_trimPool.tryStart([this, folders] { CacheTrimmer::trim(folders, m_stopTrim); });
}

void PromotionNetworkAPI::countCacheWrite()
{
    if (++m_writesSinceTrim >= WritesBetweenTrims)
        trimCache();
}

void PromotionNetworkAPI::releaseCache(QString url) const
{
    m_answers->releaseCache(url);
}

QString PromotionNetworkAPI::getArtOfMusicItem(const QString &url)
{
    return m_pictures->pictureOf(url);
}

void PromotionNetworkAPI::retainImage(const QObject *consumer, const QString &url)
{
    m_pictures->retain(consumer, url);
}

void PromotionNetworkAPI::releaseImages(const QObject *consumer)
{
    m_pictures->release(consumer);
}
