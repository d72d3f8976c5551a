#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include "storeitems.h"

// The store's catalog, read from one JSON file; nothing else feeds the
// store's answers.
class StoreCatalog
{
public:
    static QString builtInFileName();

    bool load(const QByteArray &json, QString *error = nullptr);
    bool loadFile(const QString &fileName, QString *error = nullptr);

    const QList<StoreArtist> &artists() const { return m_artists; }
    const StoreArtist *artist(const QString &id) const;
    StoreAlbumRef album(const QString &id) const;

    // Exact matches (letter case aside) first, then names containing the
    // query, each group in catalog order.
    QList<const StoreArtist *> search(const QString &query) const;

    QList<const StoreArtist *> similarArtists(const StoreArtist &artist) const;
    // Taken in turns from the similar artists, so that a short page still
    // spreads over several of them.
    QList<StoreTrackRef> similarTracks(const StoreArtist &artist, int count) const;
    QList<StoreAlbumRef> similarAlbums(const StoreArtist &artist, int count) const;

private:
    QList<StoreArtist> m_artists;
    QHash<QString, int> m_artistIndex;
    QHash<QString, QPair<int, int>> m_albumIndex;
};
