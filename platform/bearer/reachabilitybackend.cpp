#include "reachabilitybackend.h"

#include <QNetworkInformation>

namespace {

// Without a loadable backend, or while the state is unknown, assume online:
// a failed request is cheaper than a panel that never tries.
bool isReachable(QNetworkInformation::Reachability reachability)
{
    return reachability != QNetworkInformation::Reachability::Disconnected;
}

} // namespace

ReachabilityBackend::ReachabilityBackend(QObject *parent) : BearerBackend(parent), m_online(true)
{
    // Loading the system's information takes milliseconds (two plug-ins,
    // threads of their own, calls on the system bus): a host that loads the
    // extension does not wait for it. Until it is known, the state counts as
    // online.
    QMetaObject::invokeMethod(this, &ReachabilityBackend::loadSystemInformation,
                              Qt::QueuedConnection);
}

void ReachabilityBackend::loadSystemInformation()
{
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    QNetworkInformation *information = QNetworkInformation::instance();
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            &ReachabilityBackend::onReachabilityChanged);
    onReachabilityChanged(information->reachability());
}

void ReachabilityBackend::onReachabilityChanged(QNetworkInformation::Reachability reachability)
{
    const bool online = isReachable(reachability);
    if (online == m_online)
        return;
    m_online = online;
    emit onlineStateChanged(online);
}

bool ReachabilityBackend::isOnline() const
{
    return m_online;
}

bool ReachabilityBackend::isSessionRequired() const
{
    return false;
}

bool ReachabilityBackend::openSession(const NetworkConfiguration &, const QVariantMap &, int)
{
    return m_online;
}
