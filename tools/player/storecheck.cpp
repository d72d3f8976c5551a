#include "storecheck.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "promotionnetworkapi.h"
#include "promotionxmlparser.h"
#include "storeconstants.h"
#include "storeendpoint.h"
#include "storequeries.h"
#include "viewtraits.h"

namespace {

// As much of an answer as the panel takes before it gives up on it.
constexpr qint64 MaxAnswerBytes = PromotionNetworkAPI::DefaultAnswerSizeLimit;

struct Answer
{
    QString problem;
    QByteArray body;
};

Answer fetch(QNetworkAccessManager &manager, const QString &url, int timeoutMs)
{
    QNetworkRequest request { QUrl(url) };
    request.setTransferTimeout(timeoutMs);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // What Qt holds between two reads is bounded too.
    reply->setReadBufferSize(64 * 1024);
    Answer answer;
    bool tooLarge = false;
    bool late = false;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        answer.body += reply->read(MaxAnswerBytes + 1 - answer.body.size());
        if (answer.body.size() > MaxAnswerBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A store that drips its answer keeps the transfer time-out from firing.
    QTimer::singleShot(timeoutMs, &loop, [&] {
        late = true;
        reply->abort();
    });
    loop.exec();

    if (late)
        return { QStringLiteral("store timed out"), {} };
    if (tooLarge)
        return { QStringLiteral("store failed: an answer larger than %1 MiB")
                         .arg(MaxAnswerBytes >> 20),
                 {} };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The error texts of most statuses quote the address, token and all.
    if (status == 401 || status == 403)
        return { QStringLiteral("store refused: ") + reply->errorString(), {} };
    if (status >= 400)
        return { QStringLiteral("store failed: %1 %2")
                         .arg(status)
                         .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute)
                                      .toString()),
                 {} };
    if (reply->error() == QNetworkReply::TooManyRedirectsError)
        return { QStringLiteral("store failed: too many redirects"), {} };
    if (status != 0 && reply->error() != QNetworkReply::NoError)
        return { QStringLiteral("store failed: the answer was cut short"), {} };
    if (reply->error() == QNetworkReply::OperationCanceledError
        || reply->error() == QNetworkReply::TimeoutError)
        return { QStringLiteral("store timed out"), {} };
    if (reply->error() != QNetworkReply::NoError)
        return { QStringLiteral("store unreachable: ") + reply->errorString(), {} };
    return answer;
}

QMap<int, QStringList> parse(const QByteArray &body, const StoreQueries::QuerySet &set)
{
    // An empty body brings no parse result at all.
    if (body.isEmpty())
        return {};
    PromotionXmlParser parser;
    QEventLoop loop;
    QObject::connect(&parser, &PromotionXmlParser::parseReady, &loop, &QEventLoop::quit);
    parser.setData(body);
    parser.parseUseQXmlStreamReader(set.queries, set.namespaces, set.columns, false, set.limit);
    loop.exec();
    return parser.getResultsMap();
}

} // namespace

QString StoreCheck::problem(const QString &artist, const QString &viewName, int timeoutMs)
{
    // The way the plug-in goes: through the proxy the environment names.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    StoreEndpoint endpoint = StoreEndpoint::read();
    if (endpoint.territory.isEmpty()) {
        const Answer lookup = fetch(manager, endpoint.territoryUrl(QString()), timeoutMs);
        if (!lookup.problem.isEmpty())
            return lookup.problem;
        endpoint.territory = parse(lookup.body, StoreQueries::territoryLookup()).value(0).value(0);
        if (!StoreEndpoint::isUsableSegment(endpoint.territory))
            endpoint.territory = QString::fromLatin1(StoreConstants::DefaultTerritory);
    }
    const Answer search = fetch(manager, endpoint.searchUrl(artist), timeoutMs);
    if (!search.problem.isEmpty())
        return search.problem;
    const QString id = StoreQueries::artistId(parse(search.body, StoreQueries::artistSearch()), artist);
    // An artist the store does not know has no similar items to ask for.
    if (!StoreEndpoint::isUsableSegment(id))
        return QString();
    return fetch(manager,
                 endpoint.similarUrl(id, ViewTraits::of(viewName).similarPath,
                                     StoreQueries::SimilarItemsLimit),
                 timeoutMs)
            .problem;
}
