#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QVariantList>
#include <QVariantMap>

// Stands in for the modem service. It answers on its own thread, because the
// system information waits for it on the main thread. By default it has one
// modem whose SIM belongs to a Finnish network.
class FakeModemManager : public QDBusVirtualObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString Path;
    static QString simPath(int n);

    FakeModemManager();
    ~FakeModemManager() override;

    // Serves the modem objects on the bus at busAddress and starts answering.
    bool start(const QString &busAddress);
    bool registerService();
    bool unregisterService();

    // Each modem's "Sim" property; an invalid QVariant leaves the property out.
    void setModems(const QVariantList &sims);
    // Operator identifier by SIM object path; an invalid QVariant gets a reply without a value.
    void setOperatorIds(const QVariantMap &operatorIds);
    // Methods that get no answer at all.
    void setSilentMethods(const QSet<QString> &methods);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    QThread m_thread;
    QDBusConnection m_bus { QString() };
    mutable QMutex m_mutex;
    QVariantList m_sims;
    QVariantMap m_operatorIds;
    QSet<QString> m_silentMethods;
};
