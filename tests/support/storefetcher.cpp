#include "storefetcher.h"

#include <QNetworkRequest>
#include <QSignalSpy>
#include <QUrl>

#include <memory>

#include "storeconstants.h"

namespace {
const QString Token = QLatin1String(StoreConstants::DefaultToken);
}

StoreFetcher::Reply StoreFetcher::fetch(const QString &url, int transferTimeoutMs)
{
    QNetworkRequest request { QUrl(url) };
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    std::unique_ptr<QNetworkReply> reply(m_manager.get(request));
    QSignalSpy finishedSpy(reply.get(), &QNetworkReply::finished);
    Reply result;
    result.finished = reply->isFinished() || finishedSpy.wait(20000);
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    if (reply->isOpen())
        result.body = reply->readAll();
    return result;
}

QByteArray StoreFetcher::get(const QString &url)
{
    const Reply reply = fetch(url);
    return reply.finished && reply.error == QNetworkReply::NoError ? reply.body : QByteArray();
}

QString StoreFetcher::api() const
{
    return m_baseUrl + QLatin1String("/1.0/");
}

QString StoreFetcher::searchUrl(const QString &query, const QString &token) const
{
    return api() + QLatin1String("gb/artists/?q=") + query + QLatin1String("&token=") + token;
}

QString StoreFetcher::artistSearchUrl(const QString &artist, const QString &token) const
{
    return searchUrl(QString::fromLatin1(QUrl::toPercentEncoding(artist)), token);
}

QString StoreFetcher::similarUrl(const QString &id, const QString &what, int items,
                                 const QString &token) const
{
    return api() + QLatin1String("gb/artists/") + id + QLatin1String("/similar/") + what
            + QLatin1String("?itemsperpage=") + QString::number(items) + QLatin1String("&token=")
            + token;
}

QString StoreFetcher::defaultToken()
{
    return Token;
}

QString StoreFetcher::territoryUrl(const QString &mcc) const
{
    return api() + QLatin1String("?useip=true&storeconfig=false&format=xml&mcc=") + mcc
            + QLatin1String("&token=") + Token;
}
