#pragma once

#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include "networkconfiguration.h"

class BearerBackend;

class NetworkSession : public QObject
{
    Q_OBJECT

public:
    explicit NetworkSession(const NetworkConfiguration &configuration, QObject *parent = nullptr);

    NetworkConfiguration configuration() const;
    void setSessionProperty(const QString &key, const QVariant &value);
    QVariant sessionProperty(const QString &key) const;

    void open();
    // Blocks for at most msecs; false when open() was not called or the connection did not come up.
    bool waitForOpened(int msecs = 30000);
    bool isOpen() const;

private:
    NetworkConfiguration m_configuration;
    QVariantMap m_properties;
    QPointer<BearerBackend> m_backend;
    bool m_openRequested;
    bool m_open;
};
