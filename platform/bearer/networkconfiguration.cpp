#include "networkconfiguration.h"

NetworkConfiguration::NetworkConfiguration(const QString &identifier) : m_identifier(identifier) { }

QString NetworkConfiguration::identifier() const
{
    return m_identifier;
}

bool NetworkConfiguration::isValid() const
{
    return !m_identifier.isEmpty();
}

bool NetworkConfiguration::operator==(const NetworkConfiguration &other) const
{
    return m_identifier == other.m_identifier;
}

bool NetworkConfiguration::operator!=(const NetworkConfiguration &other) const
{
    return !(*this == other);
}
