#include "bearerbackend.h"

#include "reachabilitybackend.h"

QPointer<BearerBackend> BearerBackend::m_installed;

BearerBackend::BearerBackend(QObject *parent) : QObject(parent) { }

BearerBackend *BearerBackend::instance()
{
    if (m_installed)
        return m_installed;
    static ReachabilityBackend *systemBackend = new ReachabilityBackend;
    return systemBackend;
}

void BearerBackend::install(BearerBackend *backend)
{
    m_installed = backend;
}

NetworkConfiguration BearerBackend::defaultConfiguration() const
{
    return NetworkConfiguration(QStringLiteral("default"));
}
