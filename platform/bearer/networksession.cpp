#include "networksession.h"

#include "bearerbackend.h"

NetworkSession::NetworkSession(const NetworkConfiguration &configuration, QObject *parent)
    : QObject(parent),
      m_configuration(configuration),
      m_backend(BearerBackend::instance()),
      m_openRequested(false),
      m_open(false)
{ }

NetworkConfiguration NetworkSession::configuration() const
{
    return m_configuration;
}

void NetworkSession::setSessionProperty(const QString &key, const QVariant &value)
{
    m_properties.insert(key, value);
}

QVariant NetworkSession::sessionProperty(const QString &key) const
{
    return m_properties.value(key);
}

void NetworkSession::open()
{
    m_openRequested = true;
}

bool NetworkSession::waitForOpened(int msecs)
{
    if (!m_openRequested || !m_backend)
        return false;
    if (!m_open)
        m_open = m_backend->openSession(m_configuration, m_properties, msecs);
    return m_open;
}

bool NetworkSession::isOpen() const
{
    return m_open;
}
