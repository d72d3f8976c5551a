#include "storecheck.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "storeendpoint.h"

QString StoreCheck::problem(const QString &artist, int timeoutMs)
{
    // The way the plug-in goes: through the proxy the environment names.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    const StoreEndpoint endpoint = StoreEndpoint::read();
    // A store that refuses the token, or fails, still answers at its root.
    QNetworkRequest request(QUrl(endpoint.territory.isEmpty() ? endpoint.territoryUrl(QString())
                                                              : endpoint.searchUrl(artist)));
    request.setTransferTimeout(timeoutMs);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        // The error texts of other statuses quote the address, token and all.
        if (status.toInt() == 401 || status.toInt() == 403)
            return QStringLiteral("store refused: ") + reply->errorString();
        if (status.toInt() >= 500)
            return QStringLiteral("store failed: %1 %2")
                    .arg(status.toInt())
                    .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        return QString();
    }
    if (reply->error() == QNetworkReply::OperationCanceledError
        || reply->error() == QNetworkReply::TimeoutError) {
        return QStringLiteral("store timed out");
    }
    return QStringLiteral("store unreachable: ") + reply->errorString();
}
