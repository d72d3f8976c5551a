#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QStringList>

// Stands in for the store client application on its own bus connection, so
// that calls to it travel through the bus daemon as they would to the real
// client. It records every message that reaches it and, unless told to stay
// silent, answers each call with an empty reply.
class FakeStoreClient : public QDBusVirtualObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString OpenInterface;
    static const QString ConnectionName;

    ~FakeStoreClient() override;

    // Opens the connection and serves every object path on it.
    bool start();
    // False when the name is taken, for instance by the real client.
    bool registerService();
    bool unregisterService();
    bool isRegistered() const { return m_registered; }

    void setSilent(bool silent) { m_silent = silent; }
    const QList<QDBusMessage> &calls() const { return m_calls; }
    // The links of the well-formed "open" calls, oldest first.
    QStringList links() const;
    void clear() { m_calls.clear(); }

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

signals:
    void linkOpened(const QString &link);

private:
    QDBusConnection m_bus { QString() };
    bool m_silent = false;
    bool m_registered = false;
    QList<QDBusMessage> m_calls;
};
