#include "networkconfigurationmanager.h"

#include "bearerbackend.h"

NetworkConfigurationManager::NetworkConfigurationManager(QObject *parent)
    : QObject(parent),
      m_backend(BearerBackend::instance())
{
    connect(m_backend, &BearerBackend::onlineStateChanged, this,
            &NetworkConfigurationManager::onlineStateChanged);
}

bool NetworkConfigurationManager::isOnline() const
{
    return !m_backend || m_backend->isOnline();
}

NetworkConfigurationManager::Capabilities NetworkConfigurationManager::capabilities() const
{
    Capabilities result;
    if (m_backend && m_backend->isSessionRequired())
        result |= NetworkSessionRequired;
    return result;
}

NetworkConfiguration NetworkConfigurationManager::defaultConfiguration() const
{
    return m_backend ? m_backend->defaultConfiguration() : NetworkConfiguration();
}
