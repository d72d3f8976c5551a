#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "storeitems.h"

// Writes the store's Atom answers: an Atom Publishing Protocol service
// document for the territory, Atom feeds for artist searches and similar
// items. Picture links point at baseUrl + "/pictures/".
class StoreFeedWriter
{
public:
    explicit StoreFeedWriter(const QString &baseUrl);

    QByteArray serviceDocument(const QString &countryCode, const QString &apiUrl) const;
    QByteArray artistSearchFeed(const QString &query,
                                const QList<const StoreArtist *> &artists) const;
    QByteArray similarTracksFeed(const StoreArtist &artist,
                                 const QList<StoreTrackRef> &tracks) const;
    QByteArray similarAlbumsFeed(const StoreArtist &artist,
                                 const QList<StoreAlbumRef> &albums) const;
    QByteArray similarArtistsFeed(const StoreArtist &artist,
                                  const QList<const StoreArtist *> &artists) const;

    // Picture names as the links give them after "/pictures/", for example
    // "album/al100101.jpg".
    static QString artistPictureName(const StoreArtist &artist);
    static QString albumPictureName(const StoreAlbum &album);
    static QByteArray contentType(const QByteArray &format);

    // Answers of any size for benchmarks: invented entries "Generated Artist 0"
    // to count - 1 (ids "gen0" ...), each track 100 + n seconds long.
    static QByteArray
    generatedSimilarTracksFeed(int count,
                               const QString &baseUrl = QStringLiteral("http://127.0.0.1"));
    static QByteArray
    generatedArtistSearchFeed(int count,
                              const QString &baseUrl = QStringLiteral("http://127.0.0.1"));

private:
    QString pictureUrl(const QString &name) const;

    QString m_baseUrl;
};
