#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "bridgeoptions.h"
#include "storeitems.h"
#include "upstreamanswers.h"

class BridgeCache;
class QNetworkAccessManager;
class UpstreamService;

// The store's catalog as open music data tells it: artists found by name on
// MusicBrainz, similar artists and recordings from ListenBrainz, albums and
// track counts from MusicBrainz, covers from the Cover Art Archive. Each
// lookup asks only what its answer needs, in as few requests as it can, and
// answers once, in context's thread; ok is false when upstream could not
// tell, and an empty list with ok true means there is nothing to show.
class OpenDataCatalog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 NameAgeSecs = 90 * 24 * 3600;
    static constexpr qint64 SimilarAgeSecs = 7 * 24 * 3600;
    static constexpr qint64 EntityAgeSecs = 30 * 24 * 3600;

    template<typename T>
    using Callback = std::function<void(bool ok, const QList<T> &items)>;

    OpenDataCatalog(const BridgeOptions &options, BridgeCache *cache, QObject *parent = nullptr);
    ~OpenDataCatalog() override;

    void searchArtists(const QString &name, QObject *context, const Callback<StoreArtist> &done);
    // Each artist with one of its albums, whose cover is the artist's picture.
    void similarArtists(const QString &mbid, int count, QObject *context,
                        const Callback<StoreArtist> &done);
    // One album of each similar artist.
    void similarAlbums(const QString &mbid, int count, QObject *context,
                       const Callback<StoreArtist> &done);
    // Recordings of similar artists, each artist with the one album and track.
    void similarTracks(const QString &mbid, int count, QObject *context,
                       const Callback<StoreArtist> &done);
    // A cover by its name under "/pictures/"; status 404 when there is none,
    // 0 when upstream failed.
    void picture(const QString &name, QObject *context,
                 const std::function<void(int status, const QByteArray &jpeg)> &done);

    // Upstream requests sent so far, all services together.
    int requestsSent() const;

private:
    using Artists = QList<UpstreamAnswers::Artist>;
    void similarArtistList(const QString &mbid, QObject *context,
                           const std::function<void(bool ok, const Artists &)> &done);
    void radioPicks(const QString &mbid, QObject *context,
                    const std::function<void(bool ok, const QList<UpstreamAnswers::RadioPick> &)>
                            &done);
    // The album an artist is shown with: an album on its own (no live album or
    // compilation) with a cover if one of the first two has one.
    void artistAlbum(const UpstreamAnswers::Artist &artist, QObject *context,
                     const std::function<void(bool ok, const std::optional<StoreAlbum> &)> &done);
    void albumOfReleaseGroup(const QList<UpstreamAnswers::Album> &albums, int index,
                             QObject *context,
                             const std::function<void(bool ok, const std::optional<StoreAlbum> &)>
                                     &done);
    void albumRows(const Artists &artists, int count, QObject *context,
                   const Callback<StoreArtist> &done);

    BridgeOptions m_options;
    QNetworkAccessManager *m_network;
    UpstreamService *m_musicBrainz;
    UpstreamService *m_listenBrainz;
    UpstreamService *m_labs;
    UpstreamService *m_coverArt;
};
