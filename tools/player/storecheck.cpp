#include "storecheck.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "storeendpoint.h"

QString StoreCheck::problem(int timeoutMs)
{
    // The way the plug-in goes: through the proxy the environment names.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(StoreEndpoint::read().baseUrl + QLatin1Char('/')));
    request.setTransferTimeout(timeoutMs);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();

    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return QString();
    if (reply->error() == QNetworkReply::OperationCanceledError
        || reply->error() == QNetworkReply::TimeoutError) {
        return QStringLiteral("store timed out");
    }
    return QStringLiteral("store unreachable: ") + reply->errorString();
}
