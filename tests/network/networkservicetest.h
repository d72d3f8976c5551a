#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSignalSpy>
#include <QString>

#include <memory>

#include "promotionnetworkapi.h"
#include "simulatedbearerbackend.h"
#include "storefault.h"
#include "storeserver.h"

// What the network service's suites share: a store server of their own, a
// fresh service for every test function with its announcements recorded,
// and a bearer that names the configuration the platform prefers.
class NetworkServiceTest : public QObject
{
    Q_OBJECT

protected:
    using Kind = StoreFault::Kind;

    // Names the configuration that the platform currently prefers and
    // remembers the configurations that sessions were opened for.
    class SwitchingBearerBackend : public SimulatedBearerBackend
    {
    public:
        NetworkConfiguration defaultConfiguration() const override;
        bool openSession(const NetworkConfiguration &configuration, const QVariantMap &properties,
                         int msecs) override;

        QString preferred = QStringLiteral("wlan");
        QStringList openedFor;
    };

    // What the service announces, from its creation on.
    struct Spies
    {
        explicit Spies(PromotionNetworkAPI *api);
        QSignalSpy started;
        QSignalSpy downloaded;
        QSignalSpy error;
        QSignalSpy image;
    };

    // Planted cache files are told apart from an empty one.
    static inline const QByteArray Missing = "<missing>";

    static StoreServer::Answer answerWith(const QByteArray &body);
    static StoreFault fault(Kind kind, const QString &path, int times = 1);
    static QList<int> idsOf(const QSignalSpy &spy);
    static void clearProxyEnvironment();

    void recreateService();
    QString url(const QString &path) const { return m_server->baseUrl() + path; }
    void serve(const QString &path, const QByteArray &body);
    int requestCount(const QString &path = QString()) const;

    SwitchingBearerBackend m_bearer;
    StoreServer *m_server = nullptr;
    PromotionNetworkAPI *m_api = nullptr;
    std::unique_ptr<Spies> m_spies;

private slots:
    void initTestCase();
    void init();
    void cleanup();
};
