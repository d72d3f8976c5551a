#pragma once

#include <QObject>
#include <QPointer>

#include "networkconfiguration.h"

class BearerBackend;

class NetworkConfigurationManager : public QObject
{
    Q_OBJECT

public:
    enum Capability { NetworkSessionRequired = 0x1 };
    Q_DECLARE_FLAGS(Capabilities, Capability)
    Q_FLAG(Capabilities)

    explicit NetworkConfigurationManager(QObject *parent = nullptr);

    bool isOnline() const;
    Capabilities capabilities() const;
    NetworkConfiguration defaultConfiguration() const;

signals:
    void onlineStateChanged(bool isOnline);

private:
    QPointer<BearerBackend> m_backend;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(NetworkConfigurationManager::Capabilities)
