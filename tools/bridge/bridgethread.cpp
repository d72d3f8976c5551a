#include "bridgethread.h"

#include "bridgeserver.h"

BridgeThread::BridgeThread(const BridgeOptions &options) : m_options(options)
{
    m_thread.setObjectName(QStringLiteral("vellora-bridge"));
}

BridgeThread::~BridgeThread()
{
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool BridgeThread::start()
{
    // Its sockets, timers and network access all go with it to the thread.
    m_server = new BridgeServer(m_options);
    m_server->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
            m_server,
            [this] {
                if (m_server->start())
                    m_port = m_server->port();
            },
            Qt::BlockingQueuedConnection);
    return m_port != 0;
}

QString BridgeThread::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}
