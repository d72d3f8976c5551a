#pragma once

#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include "networkconfiguration.h"

// Where the bearer classes get connectivity from. The process uses one backend:
// the system's reachability by default, or one installed before the first
// NetworkConfigurationManager is created (a simulated one in the tests).
class BearerBackend : public QObject
{
    Q_OBJECT

public:
    explicit BearerBackend(QObject *parent = nullptr);

    static BearerBackend *instance();
    // The caller keeps ownership; passing nullptr returns to the system backend.
    static void install(BearerBackend *backend);

    virtual bool isOnline() const = 0;
    // True where a connection must be opened explicitly before traffic can flow.
    virtual bool isSessionRequired() const = 0;
    virtual NetworkConfiguration defaultConfiguration() const;
    // Blocks for at most msecs; true when the configuration is usable afterwards.
    virtual bool openSession(const NetworkConfiguration &configuration,
                             const QVariantMap &properties, int msecs) = 0;

signals:
    void onlineStateChanged(bool isOnline);

private:
    static QPointer<BearerBackend> m_installed;
};
