#pragma once

#include <QNetworkInformation>

#include "bearerbackend.h"

// Connectivity from the system's reachability information. Desktop and handset
// Linux bring connections up on their own, so no session is ever required.
class ReachabilityBackend : public BearerBackend
{
    Q_OBJECT

public:
    explicit ReachabilityBackend(QObject *parent = nullptr);

    bool isOnline() const override;
    bool isSessionRequired() const override;
    bool openSession(const NetworkConfiguration &configuration, const QVariantMap &properties,
                     int msecs) override;

private slots:
    void onReachabilityChanged(QNetworkInformation::Reachability reachability);

private:
    void loadSystemInformation();

    bool m_online;
};
