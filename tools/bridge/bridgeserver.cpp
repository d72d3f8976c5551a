#include "bridgeserver.h"

#include <QPointer>
#include <QTimer>

#include <memory>

#include "opendatacatalog.h"
#include "storeconstants.h"
#include "storefeedwriter.h"
#include "storehttpconnection.h"
#include "storehttprequest.h"

namespace {

constexpr char atomType[] = "application/atom+xml; charset=utf-8";
constexpr char serviceType[] = "application/atomsvc+xml; charset=utf-8";
constexpr char textType[] = "text/plain; charset=utf-8";
constexpr int DefaultItems = 4;

// One request's answer, written once: by its lookup or by its deadline,
// whichever comes first, and not at all once the client is gone.
class Answering : public QObject
{
public:
    Answering(StoreHttpConnection *connection, int deadlineMs)
        : QObject(connection), m_connection(connection)
    {
        QTimer::singleShot(deadlineMs, this,
                           [this] { answer(504, textType, "upstream too slow\n"); });
    }
    void answer(int status, const QByteArray &type, const QByteArray &body)
    {
        if (m_answered || !m_connection)
            return;
        m_answered = true;
        m_connection->respond(status, type, body);
        deleteLater();
    }

private:
    QPointer<StoreHttpConnection> m_connection;
    bool m_answered = false;
};

} // namespace

BridgeServer::BridgeServer(const BridgeOptions &options, QObject *parent)
    : QObject(parent),
      m_options(options),
      m_cache(options.cacheFolder),
      m_catalog(new OpenDataCatalog(options, &m_cache, this)),
      m_listener(this)
{
    connect(&m_listener, &StoreHttpListener::requestReceived, this, &BridgeServer::handleRequest);
}

BridgeServer::~BridgeServer() = default;

bool BridgeServer::start(quint16 port)
{
    return m_listener.start(port, "BridgeServer");
}

int BridgeServer::upstreamRequests() const
{
    return m_catalog->requestsSent();
}

void BridgeServer::handleRequest(const StoreHttpRequest &request, StoreHttpConnection *connection)
{
    const QStringList segments =
            request.url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QHash<QString, QString> values =
            StoreHttpRequest::queryValues(request.url.query(QUrl::FullyEncoded));
    auto *answering = new Answering(connection, AnswerDeadlineMs);
    if (request.method != "GET") {
        answering->answer(405, textType, "only GET\n");
        return;
    }
    const StoreFeedWriter writer(baseUrl());

    if (segments.size() == 3 && segments.at(0) == QLatin1String("pictures")) {
        m_catalog->picture(segments.at(1) + QLatin1Char('/') + segments.at(2), answering,
                           [answering](int status, const QByteArray &jpeg) {
                               if (status == 200)
                                   answering->answer(200, "image/jpeg", jpeg);
                               else if (status == 404)
                                   answering->answer(404, textType, "no cover\n");
                               else
                                   answering->answer(502, textType, "cover unavailable\n");
                           });
        return;
    }
    if (segments.size() == 1) {
        const QString territory = QLatin1String(StoreConstants::DefaultTerritory);
        answering->answer(200, serviceType,
                          writer.serviceDocument(territory, baseUrl() + QLatin1Char('/')
                                                         + segments.at(0) + QLatin1Char('/')));
        return;
    }
    if (segments.size() == 3 && segments.at(2) == QLatin1String("artists")) {
        const QString name = values.value(QStringLiteral("q")).left(UpstreamAnswers::MaxTextLength);
        if (name.trimmed().isEmpty()) {
            answering->answer(200, atomType, writer.artistSearchFeed(name, {}));
            return;
        }
        m_catalog->searchArtists(name, answering,
                                 [answering, name, writer](bool ok, const QList<StoreArtist> &found) {
                                     if (!ok) {
                                         answering->answer(502, textType, "search failed\n");
                                         return;
                                     }
                                     QList<const StoreArtist *> refs;
                                     for (const StoreArtist &artist : found)
                                         refs.append(&artist);
                                     answering->answer(200, atomType,
                                                       writer.artistSearchFeed(name, refs));
                                 });
        return;
    }
    const bool similar = segments.size() >= 5 && segments.size() <= 6
            && segments.at(2) == QLatin1String("artists")
            && segments.at(4) == QLatin1String("similar");
    const QString what = segments.value(5);
    const QString mbid = segments.value(3);
    if (!similar || !UpstreamAnswers::isMbid(mbid)
        || !(what.isEmpty() || what == QLatin1String("tracks") || what == QLatin1String("albums"))) {
        answering->answer(404, textType, "not found\n");
        return;
    }
    bool itemsOk = false;
    int items = values.value(QStringLiteral("itemsperpage")).toInt(&itemsOk);
    if (!itemsOk || items <= 0)
        items = DefaultItems;
    StoreArtist self { mbid, QString(), QString(), {}, {}, {} };
    const auto reply = [answering, what, self, writer](bool ok, const QList<StoreArtist> &rows) {
        if (!ok) {
            answering->answer(502, textType, "upstream failed\n");
            return;
        }
        QByteArray body;
        if (what == QLatin1String("tracks")) {
            QList<StoreTrackRef> tracks;
            for (const StoreArtist &artist : rows)
                tracks.append({ &artist, &artist.albums.first(), &artist.albums.first().tracks.first() });
            body = writer.similarTracksFeed(self, tracks);
        } else if (what == QLatin1String("albums")) {
            QList<StoreAlbumRef> albums;
            for (const StoreArtist &artist : rows)
                albums.append({ &artist, &artist.albums.first() });
            body = writer.similarAlbumsFeed(self, albums);
        } else {
            QList<const StoreArtist *> artists;
            for (const StoreArtist &artist : rows)
                artists.append(&artist);
            body = writer.similarArtistsFeed(self, artists);
        }
        answering->answer(200, atomType, body);
    };
    if (what == QLatin1String("tracks"))
        m_catalog->similarTracks(mbid, items, answering, reply);
    else if (what == QLatin1String("albums"))
        m_catalog->similarAlbums(mbid, items, answering, reply);
    else
        m_catalog->similarArtists(mbid, items, answering, reply);
}
