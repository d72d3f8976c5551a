#include "promotionnetwork.h"

#include "promotionnetworkapi.h"

PromotionNetwork::PromotionNetwork(QObject *parent) : QObject(parent), m_requestId(-1) { }

void PromotionNetwork::fetchXml(const QString &url, int delay)
{
    PromotionNetworkAPI *service = PromotionNetworkAPI::instance();
    const auto type = Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection);
    connect(service, &PromotionNetworkAPI::errorOccurred, this,
            &PromotionNetwork::handleErrorOccurred, type);
    connect(service, &PromotionNetworkAPI::xmlFetchingStarted, this,
            &PromotionNetwork::handleXmlFetchingStarted, type);
    connect(service, &PromotionNetworkAPI::xmlDownloaded, this,
            &PromotionNetwork::handleXmlDownloaded, type);

    if (m_requestId != -1)
        service->getXmlData(m_requestId);
    m_requestId = service->fetchXml(url, delay);
}

QByteArray PromotionNetwork::getXmlData()
{
    const int id = m_requestId;
    m_requestId = -1;
    return PromotionNetworkAPI::instance()->getXmlData(id);
}

void PromotionNetwork::cancel()
{
    if (m_requestId == -1)
        return;
    PromotionNetworkAPI::instance()->cancel(m_requestId);
    m_requestId = -1;
}

void PromotionNetwork::handleErrorOccurred(int id, QString errorDescription, int errorCode)
{
    if (id != m_requestId)
        return;
    disconnect(PromotionNetworkAPI::instance(), nullptr, this, nullptr);
    emit errorOccurred(errorDescription, errorCode);
}

void PromotionNetwork::handleXmlFetchingStarted(int id)
{
    if (id == m_requestId)
        emit xmlFetchingStarted();
}

void PromotionNetwork::handleXmlDownloaded(int id)
{
    if (id != m_requestId)
        return;
    disconnect(PromotionNetworkAPI::instance(), nullptr, this, nullptr);
    emit xmlDownloaded();
}
