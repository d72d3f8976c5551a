#include "environmentproxyfactory.h"

#include <QDebug>
#include <QHostAddress>
#include <QUrl>

namespace {

// What command-line tools assume when the value names no port.
const int DefaultProxyPort = 1080;

QString environmentValue(const char *lowerCaseName, const char *upperCaseName)
{
    return qEnvironmentVariableIsSet(lowerCaseName) ? qEnvironmentVariable(lowerCaseName)
                                                    : qEnvironmentVariable(upperCaseName);
}

} // namespace

EnvironmentProxyFactory::EnvironmentProxyFactory(const QNetworkProxy &proxy,
                                                 const QStringList &directHosts)
    : m_proxy(proxy),
      m_directHosts(directHosts)
{ }

QNetworkProxy EnvironmentProxyFactory::proxyFromEnvironment()
{
    QString value = environmentValue("http_proxy", "HTTP_PROXY").trimmed();
    if (value.isEmpty())
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    if (!value.contains(QLatin1String("://")))
        value.prepend(QLatin1String("http://"));

    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        // The value may carry a password: it is not repeated here.
        qDebug() << "static QNetworkProxy EnvironmentProxyFactory::proxyFromEnvironment()"
                 << " - Proxy setting not understood, connecting directly";
        return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    return QNetworkProxy(QNetworkProxy::HttpProxy, url.host(), quint16(url.port(DefaultProxyPort)),
                         url.userName(), url.password());
}

QStringList EnvironmentProxyFactory::directHostsFromEnvironment()
{
    QStringList hosts;
    const QStringList entries = environmentValue("no_proxy", "NO_PROXY").split(QLatin1Char(','));
    for (QString entry : entries) {
        entry = entry.trimmed().toLower();
        if (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        if (entry.startsWith(QLatin1Char('[')) && entry.endsWith(QLatin1Char(']')))
            entry = entry.mid(1, entry.size() - 2);
        if (!entry.isEmpty())
            hosts.append(entry);
    }
    return hosts;
}

QNetworkProxy EnvironmentProxyFactory::proxy() const
{
    return m_proxy;
}

bool EnvironmentProxyFactory::goesDirect(const QString &host) const
{
    const QString name = host.toLower();
    const QHostAddress address(name);
    for (const QString &entry : m_directHosts) {
        if (entry == QLatin1String("*"))
            return true;
        // An address matches only itself; a name matches itself and every name below it.
        if (address.isNull() ? name == entry || name.endsWith(QLatin1Char('.') + entry)
                             : address.isEqual(QHostAddress(entry)))
            return true;
    }
    return false;
}

QList<QNetworkProxy> EnvironmentProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    if (goesDirect(query.peerHostName()))
        return { QNetworkProxy(QNetworkProxy::NoProxy) };
    return { m_proxy };
}
