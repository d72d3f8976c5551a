// What a view costs the bridge and upstream: for one artist in each view,
// the upstream requests and the seconds from the first request (the artist
// search) to the last picture, cold and then from the cache. The upstream
// emulator answers at once; the seconds are the limits the bridge keeps
// (MusicBrainz and the Cover Art Archive one request a second).
//   bench_bridge

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

#include "bridgeserver.h"
#include "upstreamemulator.h"

namespace {

QByteArray fetch(QNetworkAccessManager &network, const QString &url)
{
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

// The requests the panel makes for one view: search, similar items, pictures.
int showView(QNetworkAccessManager &network, const BridgeServer &bridge, const QString &path)
{
    const QString api = bridge.baseUrl() + QLatin1String("/1.0/gb/artists/");
    fetch(network, api + QLatin1String("?q=Aurora%20Vale"));
    const QByteArray feed = fetch(network, api + QLatin1String("a0000000-0000-4000-8000-000000000001/similar/")
                                          + path + QLatin1String("?itemsperpage=4"));
    static const QRegularExpression picture(QStringLiteral("href=\"([^\"]+/pictures/[^\"]+)\""));
    int pictures = 0;
    for (auto match = picture.globalMatch(QString::fromUtf8(feed)); match.hasNext(); ++pictures)
        fetch(network, match.next().captured(1));
    return pictures;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QNetworkAccessManager network;
    std::printf("view     run     upstream requests  musicbrainz  pictures  seconds\n");
    for (const QString &view : { QStringLiteral("tracks"), QStringLiteral("albums"), QString() }) {
        UpstreamEmulator upstream(QStringLiteral(UPSTREAM_ROUTES));
        QTemporaryDir cache;
        if (!upstream.start() || !cache.isValid())
            return 1;
        BridgeOptions options;
        options.musicBrainz = QUrl(upstream.musicBrainzRoot());
        options.listenBrainz = QUrl(upstream.listenBrainzRoot());
        options.listenBrainzLabs = QUrl(upstream.labsRoot());
        options.coverArt = QUrl(upstream.coverArtRoot());
        options.cacheFolder = cache.path();
        BridgeServer bridge(options);
        if (!bridge.start())
            return 1;
        for (const char *run : { "cold", "cached" }) {
            const qsizetype before = upstream.log().size();
            const int musicBrainzBefore = upstream.count(QStringLiteral("musicbrainz"));
            QElapsedTimer timer;
            timer.start();
            const int pictures = showView(network, bridge, view);
            std::printf("%-8s %-7s %17lld  %11d  %8d  %7.3f\n",
                        view.isEmpty() ? "artists" : qPrintable(view), run,
                        qlonglong(upstream.log().size() - before),
                        upstream.count(QStringLiteral("musicbrainz")) - musicBrainzBefore, pictures,
                        double(timer.nsecsElapsed()) / 1e9);
        }
    }
    return 0;
}
