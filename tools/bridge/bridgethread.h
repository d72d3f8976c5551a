#pragma once

#include <QString>
#include <QThread>

#include "bridgeoptions.h"

class BridgeServer;

// The bridge on a thread of its own, so that a program showing the panel
// never waits on upstream: it starts on a free port and ends with this object.
class BridgeThread
{
public:
    explicit BridgeThread(const BridgeOptions &options);
    ~BridgeThread();

    bool start();
    quint16 port() const { return m_port; }
    QString baseUrl() const;

private:
    BridgeOptions m_options;
    QThread m_thread;
    BridgeServer *m_server = nullptr;
    quint16 m_port = 0;
};
