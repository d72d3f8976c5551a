#pragma once

#include <QNetworkProxy>
#include <QStringList>

// The proxy named by the environment as command-line tools read it: http_proxy
// (or HTTP_PROXY) for the proxy, no_proxy (or NO_PROXY) for the hosts reached
// directly.
class EnvironmentProxyFactory : public QNetworkProxyFactory
{
public:
    EnvironmentProxyFactory(const QNetworkProxy &proxy, const QStringList &directHosts);

    // DefaultProxy when no proxy is named, NoProxy when the value cannot be used.
    static QNetworkProxy proxyFromEnvironment();
    static QStringList directHostsFromEnvironment();

    QNetworkProxy proxy() const;
    bool goesDirect(const QString &host) const;
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    QNetworkProxy m_proxy;
    QStringList m_directHosts;
};
