#pragma once

#include "bearerbackend.h"

// Connectivity under the program's control, for tests and demonstrations:
// online state, whether a session is required, and whether opening one works.
class SimulatedBearerBackend : public BearerBackend
{
    Q_OBJECT

public:
    explicit SimulatedBearerBackend(QObject *parent = nullptr);

    bool isOnline() const override;
    bool isSessionRequired() const override;
    bool openSession(const NetworkConfiguration &configuration, const QVariantMap &properties,
                     int msecs) override;

    // Emits onlineStateChanged when the state changes.
    void setOnline(bool online);
    void setSessionRequired(bool required);
    // When opening succeeds the simulated handset goes online.
    void setSessionOpens(bool opens);

    int sessionOpenCount() const;
    QVariantMap lastSessionProperties() const;

private:
    bool m_online;
    bool m_sessionRequired;
    bool m_sessionOpens;
    int m_sessionOpenCount;
    QVariantMap m_lastSessionProperties;
};
