#include "opendatacatalog.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QUrl>

#include <memory>

#include "bridgecache.h"
#include "upstreamservice.h"

namespace {

constexpr int ListenBrainzIntervalMs = 250;
// The archive publishes no rate: as gently as MusicBrainz.
constexpr int CoverArtIntervalMs = 1000;
constexpr int MaxItems = 10;

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// A release's front cover, or with coverId that picture of the archive's.
QString coverName(const QString &releaseMbid, const QString &coverId = QString())
{
    return coverId.isEmpty() ? QStringLiteral("release/%1.jpg").arg(releaseMbid)
                             : QStringLiteral("release/%1-%2.jpg").arg(releaseMbid, coverId);
}

// Rows whose answers come in any order, each gathered into its place; done
// gets them once the last is in. Some rows are better than none; none at
// all where an answer failed is a failure.
struct Gathering
{
    Gathering(qsizetype count, const OpenDataCatalog::Callback<StoreArtist> &done)
        : items(count), waiting(count), done(done)
    {
    }

    void take(qsizetype index, bool ok, const std::optional<StoreArtist> &row)
    {
        failed = failed || !ok;
        items[index] = row;
        if (--waiting > 0)
            return;
        QList<StoreArtist> rows;
        for (const std::optional<StoreArtist> &item : std::as_const(items)) {
            if (item)
                rows.append(*item);
        }
        done(!(failed && rows.isEmpty()), rows);
    }

    QList<std::optional<StoreArtist>> items;
    qsizetype waiting;
    bool failed = false;
    OpenDataCatalog::Callback<StoreArtist> done;
};

} // namespace

OpenDataCatalog::OpenDataCatalog(const BridgeOptions &options, BridgeCache *cache,
                                 QObject *parent)
    : QObject(parent), m_options(options), m_network(new QNetworkAccessManager(this))
{
    const auto service = [&](const QString &name, const QUrl &root, int intervalMs,
                             UpstreamService::Answers answers = UpstreamService::Answers::Json) {
        auto *upstream =
                new UpstreamService(name, root, intervalMs, answers, cache, m_network, this);
        upstream->setUserAgent(options.userAgent());
        if (options.requestDeadlineMs > 0)
            upstream->setRequestDeadline(options.requestDeadlineMs);
        return upstream;
    };
    m_musicBrainz = service(QStringLiteral("musicbrainz"), options.musicBrainz,
                            options.musicBrainzIntervalMs);
    m_listenBrainz = service(QStringLiteral("listenbrainz"), options.listenBrainz,
                             ListenBrainzIntervalMs);
    m_labs = service(QStringLiteral("listenbrainz-labs"), options.listenBrainzLabs,
                     ListenBrainzIntervalMs);
    m_coverArt = service(QStringLiteral("coverart"), options.coverArt, CoverArtIntervalMs,
                         UpstreamService::Answers::Jpeg);
}

OpenDataCatalog::~OpenDataCatalog() = default;

int OpenDataCatalog::requestsSent() const
{
    return m_musicBrainz->requestsSent() + m_listenBrainz->requestsSent()
            + m_labs->requestsSent() + m_coverArt->requestsSent();
}

void OpenDataCatalog::searchArtists(const QString &name, QObject *context,
                                    const Callback<StoreArtist> &done)
{
    const QString query = QStringLiteral("artist:\"%1\"").arg(UpstreamAnswers::luceneEscaped(name));
    m_musicBrainz->get(
            QStringLiteral("/artist?query=%1&limit=10&fmt=json").arg(encoded(query)), NameAgeSecs,
            context,
            [done, name](const UpstreamService::Reply &reply) {
                QList<StoreArtist> artists;
                const QList<UpstreamAnswers::Artist> found =
                        UpstreamAnswers::artistSearch(reply.body, name);
                for (const UpstreamAnswers::Artist &artist : found)
                    artists.append({ artist.mbid, artist.name, artist.disambiguation, {}, {}, {} });
                done(reply.ok(), artists);
            },
            [name](const QByteArray &body) {
                return UpstreamAnswers::artistSearch(body, name).isEmpty();
            });
}

void OpenDataCatalog::radioPicks(
        const QString &mbid, QObject *context,
        const std::function<void(bool, const QList<UpstreamAnswers::RadioPick> &)> &done)
{
    m_listenBrainz->get(
            QStringLiteral("/1/lb-radio/artist/%1?mode=easy&max_similar_artists=%2"
                           "&max_recordings_per_artist=1&pop_begin=0&pop_end=100")
                    .arg(mbid)
                    .arg(MaxItems),
            SimilarAgeSecs, context,
            [done, mbid](const UpstreamService::Reply &reply) {
                done(reply.ok(), UpstreamAnswers::radio(reply.body, mbid));
            },
            [mbid](const QByteArray &body) { return UpstreamAnswers::radio(body, mbid).isEmpty(); });
}

// The labs list first; when it fails or knows nothing of the artist, the
// artists LB Radio picks from.
void OpenDataCatalog::similarArtistList(const QString &mbid, QObject *context,
                                        const std::function<void(bool, const Artists &)> &done)
{
    m_labs->get(
            QStringLiteral("/similar-artists/json?artist_mbids=%1&algorithm=%2")
                    .arg(mbid, encoded(m_options.algorithm)),
            SimilarAgeSecs, context,
            [this, done, mbid, context](const UpstreamService::Reply &reply) {
                const Artists artists = UpstreamAnswers::similarArtists(reply.body, mbid);
                if (reply.ok() && !artists.isEmpty()) {
                    done(true, artists);
                    return;
                }
                radioPicks(mbid, context,
                           [done, labsOk = reply.ok() || reply.status == 404](
                                   bool ok, const QList<UpstreamAnswers::RadioPick> &picks) {
                               Artists artists;
                               for (const UpstreamAnswers::RadioPick &pick : picks)
                                   artists.append(pick.artist);
                               done(ok || (labsOk && picks.isEmpty()), artists);
                           });
            },
            [mbid](const QByteArray &body) {
                return UpstreamAnswers::similarArtists(body, mbid).isEmpty();
            });
}

void OpenDataCatalog::artistAlbum(
        const UpstreamAnswers::Artist &artist, QObject *context,
        const std::function<void(bool, const std::optional<StoreAlbum> &)> &done)
{
    m_musicBrainz->get(
            QStringLiteral("/release-group?artist=%1&type=album&limit=100&fmt=json")
                    .arg(artist.mbid),
            EntityAgeSecs, context,
            [this, done, context](const UpstreamService::Reply &reply) {
                if (!reply.ok()) {
                    done(reply.status == 404, std::nullopt);
                    return;
                }
                albumOfReleaseGroup(UpstreamAnswers::albums(reply.body), 0, context, done);
            },
            [](const QByteArray &body) { return UpstreamAnswers::albums(body).isEmpty(); });
}

void OpenDataCatalog::albumOfReleaseGroup(
        const QList<UpstreamAnswers::Album> &albums, int index, QObject *context,
        const std::function<void(bool, const std::optional<StoreAlbum> &)> &done)
{
    if (index >= albums.size()) {
        done(true, std::nullopt);
        return;
    }
    const UpstreamAnswers::Album album = albums.at(index);
    m_musicBrainz->get(
            QStringLiteral("/release?release-group=%1&inc=media&limit=100&fmt=json").arg(album.mbid),
            EntityAgeSecs, context,
            [this, done, context, albums, index, album](const UpstreamService::Reply &reply) {
                const QList<UpstreamAnswers::Release> releases =
                        UpstreamAnswers::releases(reply.body);
                const auto withCover =
                        std::find_if(releases.cbegin(), releases.cend(),
                                     [](const UpstreamAnswers::Release &r) { return r.front; });
                // Without a cover the next album may have one; past the
                // second, the first is shown with the default icon.
                if (withCover == releases.cend() && index == 0 && albums.size() > 1) {
                    albumOfReleaseGroup(albums, 1, context, done);
                    return;
                }
                if (!reply.ok() && releases.isEmpty()) {
                    done(false, std::nullopt);
                    return;
                }
                StoreAlbum result;
                result.id = album.mbid;
                result.title = album.title;
                const UpstreamAnswers::Release chosen =
                        withCover != releases.cend() ? *withCover : releases.value(0);
                result.trackCount = chosen.trackCount;
                if (withCover != releases.cend())
                    result.picture = { "jpeg", QSize(250, 250), coverName(chosen.mbid) };
                done(true, result);
            },
            [](const QByteArray &body) { return UpstreamAnswers::releases(body).isEmpty(); });
}

void OpenDataCatalog::albumRows(const Artists &artists, int count, QObject *context,
                                const Callback<StoreArtist> &done)
{
    const Artists chosen = artists.mid(0, qBound(0, count, MaxItems));
    if (chosen.isEmpty()) {
        done(true, {});
        return;
    }
    auto gathering = std::make_shared<Gathering>(chosen.size(), done);
    for (qsizetype i = 0; i < chosen.size(); ++i) {
        const UpstreamAnswers::Artist artist = chosen.at(i);
        artistAlbum(artist, context,
                    [gathering, artist, i](bool ok, const std::optional<StoreAlbum> &album) {
                        std::optional<StoreArtist> row;
                        if (album)
                            row = StoreArtist { artist.mbid, artist.name, QString(), { *album },
                                                {}, album->picture };
                        gathering->take(i, ok, row);
                    });
    }
}

void OpenDataCatalog::similarArtists(const QString &mbid, int count, QObject *context,
                                     const Callback<StoreArtist> &done)
{
    similarArtistList(mbid, context, [this, count, context, done](bool ok, const Artists &artists) {
        if (!ok) {
            done(false, {});
            return;
        }
        // An artist without an album still shows, with the default icon.
        albumRows(artists, count, context,
                  [done, artists, count](bool ok, const QList<StoreArtist> &rows) {
                      QList<StoreArtist> all;
                      for (const UpstreamAnswers::Artist &artist : artists.mid(0, count)) {
                          const auto it = std::find_if(
                                  rows.cbegin(), rows.cend(),
                                  [&artist](const StoreArtist &row) { return row.id == artist.mbid; });
                          all.append(it != rows.cend()
                                             ? *it
                                             : StoreArtist { artist.mbid, artist.name, {}, {}, {}, {} });
                      }
                      done(ok, all);
                  });
    });
}

void OpenDataCatalog::similarAlbums(const QString &mbid, int count, QObject *context,
                                    const Callback<StoreArtist> &done)
{
    similarArtistList(mbid, context, [this, count, context, done](bool ok, const Artists &artists) {
        if (!ok) {
            done(false, {});
            return;
        }
        // An artist without an album of its own gives no row.
        albumRows(artists, count, context, done);
    });
}

void OpenDataCatalog::similarTracks(const QString &mbid, int count, QObject *context,
                                    const Callback<StoreArtist> &done)
{
    radioPicks(mbid, context, [this, count, context, done](
                                      bool ok, const QList<UpstreamAnswers::RadioPick> &picks) {
        const QList<UpstreamAnswers::RadioPick> chosen = picks.mid(0, qBound(0, count, MaxItems));
        if (!ok || chosen.isEmpty()) {
            done(ok, {});
            return;
        }
        QStringList ids;
        for (const UpstreamAnswers::RadioPick &pick : chosen)
            ids.append(pick.recordingMbid);
        // Every pick's title, credit, album and length in one request.
        m_listenBrainz->get(
                QStringLiteral("/1/metadata/recording/?recording_mbids=%1&inc=artist+release")
                        .arg(ids.join(QLatin1Char(','))),
                EntityAgeSecs, context,
                [chosen, done](const UpstreamService::Reply &reply) {
                    QHash<QString, UpstreamAnswers::Recording> byId;
                    const QList<UpstreamAnswers::Recording> recordings =
                            UpstreamAnswers::recordings(reply.body);
                    for (const UpstreamAnswers::Recording &recording : recordings)
                        byId.insert(recording.mbid, recording);
                    QList<StoreArtist> rows;
                    for (const UpstreamAnswers::RadioPick &pick : chosen) {
                        const auto found = byId.constFind(pick.recordingMbid);
                        if (found == byId.constEnd())
                            continue;
                        StoreArtist row;
                        row.id = pick.artist.mbid;
                        row.name = found->artistCredit.isEmpty() ? pick.artist.name
                                                                 : found->artistCredit;
                        StoreAlbum album;
                        album.id = found->releaseMbid;
                        album.title = found->album;
                        if (!found->coverRelease.isEmpty())
                            album.picture = { "jpeg", QSize(250, 250),
                                              coverName(found->coverRelease, found->coverId) };
                        else if (!found->releaseMbid.isEmpty())
                            album.picture = { "jpeg", QSize(250, 250),
                                              coverName(found->releaseMbid) };
                        // Seconds, rounded as a player shows them.
                        album.tracks.append(
                                { found->mbid, found->title, (found->lengthMs + 500) / 1000 });
                        row.albums.append(album);
                        rows.append(row);
                    }
                    done(reply.ok(), rows);
                },
                [](const QByteArray &body) { return UpstreamAnswers::recordings(body).isEmpty(); });
    });
}

void OpenDataCatalog::picture(const QString &name, QObject *context,
                              const std::function<void(int, const QByteArray &)> &done)
{
    static const QRegularExpression cover(QStringLiteral(
            "^release/([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})"
            "(?:-([0-9]{1,19}))?\\.jpg$"));
    const QRegularExpressionMatch match = cover.match(name);
    if (!match.hasMatch()) {
        done(404, {});
        return;
    }
    const QString mbid = match.captured(1);
    const QString id = match.captured(2);
    // A numbered picture needs no index: the archive serves its thumbnail by name.
    m_coverArt->get(id.isEmpty() ? QStringLiteral("/release/%1/front-250").arg(mbid)
                                 : QStringLiteral("/release/%1/%2-250.jpg").arg(mbid, id),
                    qint64(BridgeCache::MaxAgeDays) * 24 * 3600, context,
                    [done](const UpstreamService::Reply &reply) {
                        done(reply.status, reply.body);
                    });
}
