#include "simulatedbearerbackend.h"

SimulatedBearerBackend::SimulatedBearerBackend(QObject *parent)
    : BearerBackend(parent),
      m_online(true),
      m_sessionRequired(false),
      m_sessionOpens(true),
      m_sessionOpenCount(0)
{ }

bool SimulatedBearerBackend::isOnline() const
{
    return m_online;
}

bool SimulatedBearerBackend::isSessionRequired() const
{
    return m_sessionRequired;
}

bool SimulatedBearerBackend::openSession(const NetworkConfiguration &,
                                         const QVariantMap &properties, int)
{
    ++m_sessionOpenCount;
    m_lastSessionProperties = properties;
    if (m_sessionOpens)
        setOnline(true);
    return m_sessionOpens;
}

void SimulatedBearerBackend::setOnline(bool online)
{
    if (online == m_online)
        return;
    m_online = online;
    emit onlineStateChanged(online);
}

void SimulatedBearerBackend::setSessionRequired(bool required)
{
    m_sessionRequired = required;
}

void SimulatedBearerBackend::setSessionOpens(bool opens)
{
    m_sessionOpens = opens;
}

int SimulatedBearerBackend::sessionOpenCount() const
{
    return m_sessionOpenCount;
}

QVariantMap SimulatedBearerBackend::lastSessionProperties() const
{
    return m_lastSessionProperties;
}
