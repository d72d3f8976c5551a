#include "upstreamemulator.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include "storehttpconnection.h"
#include "storehttprequest.h"

namespace {

const QPair<QString, QString> services[] = {
    { QStringLiteral("/ws/2"), QStringLiteral("musicbrainz") },
    { QStringLiteral("/lb"), QStringLiteral("listenbrainz") },
    { QStringLiteral("/labs"), QStringLiteral("labs") },
    { QStringLiteral("/caa"), QStringLiteral("coverart") },
    { QStringLiteral("/archive"), QStringLiteral("archive") },
};

QByteArray cover(const QString &mbid)
{
    QImage image(250, 250, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(qHash(mbid) % 360), 160, 200));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return jpeg;
}

const QByteArray notFoundPage = "<!DOCTYPE html><html><body><h1>404 Not Found</h1></body></html>";

} // namespace

UpstreamEmulator::UpstreamEmulator(const QString &routesFile, QObject *parent)
    : QObject(parent), m_listener(this)
{
    QFile file(routesFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject all = QJsonDocument::fromJson(file.readAll()).object();
        m_routes = all.value(QLatin1String("routes")).toObject();
        for (const QJsonValue &mbid : all.value(QLatin1String("covers")).toArray())
            m_covers.append(mbid.toString());
    }
    connect(&m_listener, &StoreHttpListener::requestReceived, this,
            &UpstreamEmulator::handleRequest);
}

bool UpstreamEmulator::start()
{
    m_clock.start();
    return !m_routes.isEmpty() && m_listener.start(0, "UpstreamEmulator");
}

QStringList UpstreamEmulator::bridgeArguments() const
{
    return { QStringLiteral("--musicbrainz"), musicBrainzRoot(), QStringLiteral("--listenbrainz"),
             listenBrainzRoot(), QStringLiteral("--listenbrainz-labs"), labsRoot(),
             QStringLiteral("--coverart"), coverArtRoot(), QStringLiteral("--contact"),
             QStringLiteral("tests@libvellora.example") };
}

void UpstreamEmulator::addFault(const QString &text, Fault fault, int times, int retryAfterSecs)
{
    m_faults.append({ text, fault, times, retryAfterSecs });
}

int UpstreamEmulator::count(const QString &service) const
{
    return int(std::count_if(m_log.cbegin(), m_log.cend(),
                             [&service](const Logged &entry) { return entry.service == service; }));
}

qint64 UpstreamEmulator::closestGapMs(const QString &service) const
{
    qint64 closest = std::numeric_limits<qint64>::max();
    qint64 last = -1;
    for (const Logged &entry : m_log) {
        if (entry.service != service)
            continue;
        if (last >= 0)
            closest = qMin(closest, entry.atMs - last);
        last = entry.atMs;
    }
    return closest;
}

void UpstreamEmulator::handleRequest(const StoreHttpRequest &request,
                                     StoreHttpConnection *connection)
{
    const QString path = request.url.path(QUrl::FullyDecoded);
    const QString query = QUrl::fromPercentEncoding(request.url.query(QUrl::FullyEncoded).toUtf8());
    Logged entry;
    for (const auto &service : services) {
        if (path.startsWith(service.first + QLatin1Char('/'))) {
            entry.service = service.second;
            entry.target = path.mid(service.first.size())
                    + (query.isEmpty() ? QString() : QLatin1Char('?') + query);
        }
    }
    entry.atMs = m_clock.elapsed();
    entry.userAgent = request.value("User-Agent");
    m_log.append(entry);

    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        FaultEntry &fault = m_faults[i];
        if (!(entry.service + entry.target).contains(fault.text))
            continue;
        const Fault kind = fault.fault;
        const QByteArray retry = QByteArray::number(fault.retryAfterSecs);
        if (fault.times > 0 && --fault.times == 0)
            m_faults.removeAt(i);
        QTcpSocket *socket = connection->socket();
        switch (kind) {
        case Fault::Unavailable:
            connection->respond(503, "text/html", "<html>busy</html>", { { "Retry-After", retry } });
            return;
        case Fault::TooMany:
            connection->respond(429, "application/json", "{\"code\":429}",
                                { { "X-RateLimit-Remaining", "0" }, { "X-RateLimit-Reset-In", retry } });
            return;
        case Fault::Fails:
            connection->respond(500, "text/html", "<html>oops</html>");
            return;
        case Fault::Stall:
            return;
        case Fault::Drip: {
            socket->write(StoreHttpConnection::head(200, { { "Content-Length", "100000" } }));
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
            timer->start(1000);
            return;
        }
        case Fault::CutBody:
            socket->write(StoreHttpConnection::head(200, { { "Content-Length", "4000" } }));
            socket->write("{\"artists\": [");
            socket->disconnectFromHost();
            return;
        case Fault::Malformed:
            connection->respond(200, "application/json", "{\"artists\": [{\"id\": ");
            return;
        case Fault::Huge:
            connection->respond(200, "application/json",
                                "[" + QByteArray(3 * 1024 * 1024, ' ') + "]");
            return;
        case Fault::RedirectLoop:
            connection->respond(307, "text/plain", "",
                                { { "Location", request.url.toEncoded() } });
            return;
        }
    }

    if (entry.service == QLatin1String("coverart")) {
        const QStringList parts = entry.target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        // The front cover, or a numbered picture, by way of the archive.
        static const QRegularExpression numbered(QStringLiteral("^[0-9]+-250\\.jpg$"));
        if (parts.size() == 3 && parts.at(0) == QLatin1String("release")
            && m_covers.contains(parts.at(1))
            && (parts.at(2) == QLatin1String("front-250") || numbered.match(parts.at(2)).hasMatch())) {
            const QString picture = parts.at(2) == QLatin1String("front-250")
                    ? QStringLiteral("250.jpg")
                    : parts.at(2);
            connection->respond(307, "text/plain", "",
                                { { "Location", (m_listener.baseUrl() + QLatin1String("/archive/")
                                                 + parts.at(1) + QLatin1Char('-') + picture)
                                                        .toUtf8() } });
            return;
        }
    } else if (entry.service == QLatin1String("archive")) {
        const QString mbid = entry.target.mid(1).section(QLatin1Char('-'), 0, 4);
        if (m_covers.contains(mbid)) {
            connection->respond(200, "image/jpeg", cover(mbid));
            return;
        }
    } else {
        const QJsonValue route = m_routes.value(entry.service + entry.target);
        if (route.isObject()) {
            const QJsonObject answer = route.toObject();
            connection->respond(answer.value(QLatin1String("status")).toInt(200),
                                "application/json",
                                QJsonDocument::fromVariant(
                                        answer.value(QLatin1String("body")).toVariant())
                                        .toJson(QJsonDocument::Compact));
            return;
        }
    }
    connection->respond(404, "text/html", notFoundPage);
}
