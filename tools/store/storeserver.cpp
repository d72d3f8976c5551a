#include "storeserver.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <utility>

#include <sys/socket.h>

#include "storeconstants.h"
#include "storefeedwriter.h"
#include "storehttpconnection.h"

namespace {

using Header = QPair<QByteArray, QByteArray>;

constexpr char atomType[] = "application/atom+xml; charset=utf-8";
constexpr char serviceType[] = "application/atomsvc+xml; charset=utf-8";
const int defaultItemsPerPage = 10;

struct Country
{
    int firstMcc;
    int lastMcc;
    const char *code;
};

// A slice of the ITU mobile country code list, enough for the handsets the
// store is tried with.
const Country countries[] = {
    { 202, 202, "gr" }, { 204, 204, "nl" }, { 206, 206, "be" }, { 208, 208, "fr" },
    { 214, 214, "es" }, { 222, 222, "it" }, { 228, 228, "ch" }, { 232, 232, "at" },
    { 234, 235, "gb" }, { 238, 238, "dk" }, { 240, 240, "se" }, { 242, 242, "no" },
    { 244, 244, "fi" }, { 250, 250, "ru" }, { 260, 260, "pl" }, { 262, 262, "de" },
    { 268, 268, "pt" }, { 272, 272, "ie" }, { 302, 302, "ca" }, { 310, 316, "us" },
    { 334, 334, "mx" }, { 404, 405, "in" }, { 440, 441, "jp" }, { 450, 450, "kr" },
    { 460, 460, "cn" }, { 505, 505, "au" }, { 530, 530, "nz" }, { 602, 602, "eg" },
    { 655, 655, "za" }, { 724, 724, "br" },
};

bool knownTerritory(const QString &territory)
{
    for (const Country &country : countries) {
        if (territory.compare(QLatin1String(country.code), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

qsizetype textSize(const StoreRequest &entry)
{
    return entry.path.size() + entry.rawPath.size() + entry.query.size() + entry.url.size();
}

} // namespace

StoreServer::StoreServer(QObject *parent)
    : QObject(parent),
      m_pictures(std::make_unique<StorePictures>(m_catalog)),
      m_token(QLatin1String(StoreConstants::DefaultToken)),
      m_apiVersion(QLatin1String(StoreConstants::DefaultVersion)),
      m_listener(this)
{
    connect(&m_listener, &StoreHttpListener::requestReceived, this, &StoreServer::handleRequest);
    QString error;
    if (!loadCatalog(StoreCatalog::builtInFileName(), &error))
        qWarning("StoreServer: built-in catalog unusable: %s", qPrintable(error));
}

StoreServer::~StoreServer() = default;

bool StoreServer::loadCatalog(const QString &fileName, QString *error)
{
    StoreCatalog catalog;
    if (!catalog.loadFile(fileName, error))
        return false;
    m_catalog = catalog;
    m_pictures = std::make_unique<StorePictures>(m_catalog);
    return true;
}

bool StoreServer::start(quint16 port)
{
    return m_listener.start(port, "StoreServer");
}

void StoreServer::addFault(const StoreFault &fault)
{
    m_faults.append(fault);
}

void StoreServer::clearFaults()
{
    m_faults.clear();
}

void StoreServer::releaseHeld()
{
    const QList<Held> held = std::exchange(m_held, {});
    for (const Held &entry : held) {
        if (entry.connection)
            answer(entry.connection, entry.answer, std::nullopt);
    }
}

void StoreServer::clearRequestLog()
{
    m_log.clear();
    m_loggedText = 0;
    m_requestCounts.clear();
}

void StoreServer::logRequest(const StoreRequest &entry)
{
    ++m_requestCounts[entry.kind];
    m_log.append(entry);
    m_loggedText += textSize(entry);
    while (m_log.size() > 1
           && (m_log.size() > MaxLoggedRequests || m_loggedText > MaxLoggedText))
        m_loggedText -= textSize(m_log.takeFirst());
}

void StoreServer::setHandler(const QString &path, const Handler &handler)
{
    m_handlers.insert(path, handler);
}

QString StoreServer::countryForMobileCountryCode(const QString &mcc)
{
    bool ok = false;
    const int code = mcc.trimmed().toInt(&ok);
    for (const Country &country : countries) {
        if (ok && code >= country.firstMcc && code <= country.lastMcc)
            return QLatin1String(country.code);
    }
    return QString();
}

std::optional<StoreFault> StoreServer::takeFault(const QString &path)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        StoreFault &fault = m_faults[i];
        if (!path.contains(fault.pathContains))
            continue;
        const StoreFault taken = fault;
        if (fault.times > 0 && --fault.times == 0)
            m_faults.removeAt(i);
        return taken;
    }
    return std::nullopt;
}

void StoreServer::handleRequest(const StoreHttpRequest &request, StoreHttpConnection *connection)
{
    QTcpSocket *socket = connection->socket();
    const QUrl &url = request.url;
    StoreRequest entry;
    entry.path = url.path(QUrl::FullyDecoded);
    entry.rawPath = url.path(QUrl::FullyEncoded);
    entry.query = url.query(QUrl::FullyEncoded);
    entry.time = QDateTime::currentDateTimeUtc();
    entry.url = url.toString(QUrl::FullyEncoded);
    const std::optional<StoreFault> fault = takeFault(entry.path);
    const Handler handler = m_handlers.value(entry.path, m_handlers.value(QString()));

    Answer answer;
    if (handler) {
        answer = handler(request);
    } else if (request.method != "GET") {
        answer.status = 405;
        answer.body = "only GET\n";
    } else {
        answer = route(entry.path, entry.query,
                       fault && fault->kind == StoreFault::Kind::ExtraEntries ? fault->extraEntries
                                                                              : 0,
                       &entry.kind);
    }
    logRequest(entry);
    if (!m_lastRequests.contains(socket)) {
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { emit connectionClosed(m_lastRequests.take(socket)); });
    }
    m_lastRequests.insert(socket, entry);
    emit requestReceived(entry);

    if (fault)
        answer = m_shaper.reshape(answer, *fault, baseUrl());
    if (!request.keepAlive)
        answer.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    // Written later, never from inside this call: the connection is still
    // reading the bytes that carried the request.
    QTimer::singleShot(fault ? fault->delayMs : 0, connection,
                       [this, connection, answer, fault] { this->answer(connection, answer, fault); });
}

void StoreServer::answer(StoreHttpConnection *connection, const Answer &answer,
                         const std::optional<StoreFault> &fault)
{
    if (fault && fault->kind == StoreFault::Kind::Hold) {
        m_held.append(Held { connection, answer });
        return;
    }
    deliver(connection, answer, fault);
}

StoreServer::Answer StoreServer::route(const QString &path, const QString &query, int extraEntries,
                                       StoreRequest::Kind *kind)
{
    const QStringList segments = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QHash<QString, QString> values = StoreHttpRequest::queryValues(query);
    const Answer notFound { 404, "text/plain; charset=utf-8", "not found\n", {} };

    if (segments.size() == 3 && segments.at(0) == QLatin1String("pictures")) {
        *kind = StoreRequest::Kind::Picture;
        QByteArray format;
        const QByteArray picture =
                m_pictures->picture(segments.at(1) + QLatin1Char('/') + segments.at(2), &format);
        if (picture.isEmpty())
            return notFound;
        return { 200, StoreFeedWriter::contentType(format), picture, {} };
    }
    if (segments.size() == 2 && segments.at(0) == QLatin1String("_loop")) {
        const QString next =
                segments.at(1) == QLatin1String("a") ? QStringLiteral("b") : QStringLiteral("a");
        return { 302,
                 "text/plain; charset=utf-8",
                 "moved\n",
                 { { "Location", (baseUrl() + QLatin1String("/_loop/") + next).toUtf8() } } };
    }
    if (segments.isEmpty() || segments.at(0) != m_apiVersion)
        return notFound;

    if (segments.size() == 1) {
        *kind = StoreRequest::Kind::Territory;
    } else if (segments.size() == 3 && segments.at(2) == QLatin1String("artists")) {
        *kind = StoreRequest::Kind::ArtistSearch;
    } else if (segments.size() >= 5 && segments.size() <= 6
               && segments.at(2) == QLatin1String("artists")
               && segments.at(4) == QLatin1String("similar")) {
        const QString what = segments.value(5);
        if (what == QLatin1String("tracks"))
            *kind = StoreRequest::Kind::SimilarTracks;
        else if (what == QLatin1String("albums"))
            *kind = StoreRequest::Kind::SimilarAlbums;
        else if (what.isEmpty())
            *kind = StoreRequest::Kind::SimilarArtists;
        else
            return notFound;
    } else {
        return notFound;
    }

    if (values.value(QStringLiteral("token")) != m_token)
        return { 401, "text/plain; charset=utf-8", "unknown token\n", {} };

    const QString apiUrl = baseUrl() + QLatin1Char('/') + m_apiVersion + QLatin1Char('/');
    if (*kind == StoreRequest::Kind::Territory) {
        // Like the real store with useip=true: a code it cannot place falls
        // back on the territory of the caller's address, which here is "gb".
        QString country = countryForMobileCountryCode(values.value(QStringLiteral("mcc")));
        if (country.isEmpty())
            country = QStringLiteral("gb");
        return {
            200, serviceType, StoreFeedWriter(baseUrl()).serviceDocument(country, apiUrl), {}
        };
    }

    const QString territory = segments.at(1);
    if (!knownTerritory(territory))
        return { 404, "text/plain; charset=utf-8", "unknown territory\n", {} };
    if (*kind == StoreRequest::Kind::ArtistSearch) {
        const QString name = values.value(QStringLiteral("q"));
        return { 200,
                 atomType,
                 StoreFeedWriter(baseUrl()).artistSearchFeed(name, m_catalog.search(name)),
                 {} };
    }

    bool ok = false;
    int items = values.value(QStringLiteral("itemsperpage")).toInt(&ok);
    if (!ok || items < 0)
        items = defaultItemsPerPage;
    return similarAnswer(segments.at(3), items + extraEntries, *kind);
}

StoreServer::Answer StoreServer::similarAnswer(const QString &id, int items,
                                               StoreRequest::Kind kind)
{
    const StoreArtist *artist = m_catalog.artist(id);
    if (!artist)
        return { 404, "text/plain; charset=utf-8", "unknown artist\n", {} };
    const StoreFeedWriter writer(baseUrl());
    QByteArray body;
    if (kind == StoreRequest::Kind::SimilarTracks) {
        body = writer.similarTracksFeed(*artist, m_catalog.similarTracks(*artist, items));
    } else if (kind == StoreRequest::Kind::SimilarAlbums) {
        body = writer.similarAlbumsFeed(*artist, m_catalog.similarAlbums(*artist, items));
    } else {
        body = writer.similarArtistsFeed(*artist, m_catalog.similarArtists(*artist).mid(0, items));
    }
    return { 200, atomType, body, {} };
}

void StoreServer::deliver(StoreHttpConnection *connection, const Answer &answer,
                          const std::optional<StoreFault> &fault)
{
    QTcpSocket *socket = connection->socket();
    using Kind = StoreFault::Kind;
    const Kind kind = fault ? fault->kind : Kind::Delay;
    QList<Header> headers = { { "Content-Type", answer.contentType } };
    headers += answer.headers;

    // The head of an answer whose length is told.
    const auto writeHead = [&] {
        headers.append(Header("Content-Length", QByteArray::number(answer.body.size())));
        socket->write(StoreHttpConnection::head(answer.status, headers));
    };
    switch (kind) {
    case Kind::Stall:
    case Kind::Hold:
        return;
    case Kind::CutBodyNoLength:
        headers.append(Header("Connection", "close"));
        socket->write(StoreHttpConnection::head(answer.status, headers));
        socket->write(answer.body.left(answer.body.size() / 2));
        socket->disconnectFromHost();
        return;
    case Kind::ChunkedWithoutLastChunk: {
        headers.append(Header("Transfer-Encoding", "chunked"));
        socket->write(StoreHttpConnection::head(answer.status, headers));
        for (qsizetype at = 0; at < answer.body.size(); at += 512) {
            const QByteArray chunk = answer.body.mid(at, 512);
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        }
        socket->disconnectFromHost();
        return;
    }
    case Kind::EndlessChunked: {
        headers.append(Header("Transfer-Encoding", "chunked"));
        socket->write(StoreHttpConnection::head(answer.status, headers));
        socket->write(QByteArray::number(answer.body.size(), 16) + "\r\n" + answer.body + "\r\n");
        // Topped up as the client reads, so that the store itself holds
        // little however long the client keeps reading.
        const int size = fault->chunkSize;
        const QByteArray chunk =
                QByteArray::number(size, 16) + "\r\n" + QByteArray(size, ' ') + "\r\n";
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket, chunk] {
            if (socket->bytesToWrite() < chunk.size())
                socket->write(chunk);
        });
        return;
    }
    case Kind::StallAfterHeaders:
        writeHead();
        return;
    case Kind::CutBody:
        writeHead();
        socket->write(answer.body.left(answer.body.size() / 2));
        socket->disconnectFromHost();
        return;
    case Kind::ConnectionReset: {
        writeHead();
        // Part of the answer goes first: a client resends a request whose
        // kept-alive connection breaks before any byte of the answer, and the
        // reset would never reach it. A zero linger time makes the close send
        // RST instead of FIN.
        socket->write(answer.body.left(answer.body.size() / 2));
        socket->flush();
        const linger abortive = { 1, 0 };
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                     sizeof(abortive));
        socket->abort();
        return;
    }
    case Kind::Drip: {
        writeHead();
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [connection, timer, sent, body = answer.body] {
            QTcpSocket *socket = connection->socket();
            if (*sent >= body.size()) {
                timer->deleteLater();
                connection->answerWritten();
                return;
            }
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(fault->intervalMs);
        return;
    }
    case Kind::InterimAnswers:
        for (const int status : fault->interimStatuses) {
            socket->write(StoreHttpConnection::head(
                    status,
                    status == 103 ? QList<Header> { { "Link", "</style.css>; rel=preload" } }
                                  : QList<Header> {}));
        }
        // Then the answer, as any other.
        break;
    case Kind::Delay:
    case Kind::Status:
    case Kind::MalformedXml:
    case Kind::EmptyBody:
    case Kind::NotAnImage:
    case Kind::HugePicture:
    case Kind::ExtraEntries:
    case Kind::RedirectLoop:
    case Kind::HtmlErrorPage:
    case Kind::Doctype:
    case Kind::EntityBomb:
    case Kind::DeepNesting:
    case Kind::TruncatedJpeg:
    case Kind::JpegClaimingHugeSize:
    case Kind::ProgressiveJpeg:
    case Kind::ProgressiveJpegBomb:
    case Kind::JpegScanFlood:
    case Kind::ReplaceBody:
    case Kind::PadBody:
        break;
    }
    writeHead();
    socket->write(answer.body);
    connection->answerWritten();
}
