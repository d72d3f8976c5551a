#pragma once

#include <QString>

// A named way of reaching the network (a WLAN or a packet-data access point).
// Linux handsets expose only the one the system has chosen, so the name is all it carries.
class NetworkConfiguration
{
public:
    NetworkConfiguration() = default;
    explicit NetworkConfiguration(const QString &identifier);

    QString identifier() const;
    bool isValid() const;

    bool operator==(const NetworkConfiguration &other) const;
    bool operator!=(const NetworkConfiguration &other) const;

private:
    QString m_identifier;
};
