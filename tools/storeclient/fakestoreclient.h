#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>

// Stands in for the store client application on its own bus connection, so
// that calls to it travel through the bus daemon as they would to the real
// client. It keeps the links of the last few well-formed "open" calls (any
// peer on the bus may call it, as often and with as much as it likes) and,
// unless told to stay silent, answers each call with an empty reply.
class FakeStoreClient : public QDBusVirtualObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString OpenInterface;
    static const QString ConnectionName;
    static constexpr int KeptLinks = 16;

    ~FakeStoreClient() override;

    // Opens the connection and serves every object path on it.
    bool start();
    // False when the name is taken, for instance by the real client.
    bool registerService();
    bool unregisterService();
    bool isRegistered() const { return m_registered; }

    void setSilent(bool silent) { m_silent = silent; }
    // The links of the last KeptLinks well-formed "open" calls, oldest first.
    QStringList links() const { return m_links; }
    // Every message that reached it, well-formed or not.
    int callCount() const { return m_callCount; }
    void clear()
    {
        m_links.clear();
        m_callCount = 0;
    }

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

signals:
    void linkOpened(const QString &link);

private:
    QDBusConnection m_bus { QString() };
    bool m_silent = false;
    bool m_registered = false;
    QStringList m_links;
    int m_callCount = 0;
};
