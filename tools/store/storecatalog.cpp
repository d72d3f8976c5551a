#include "storecatalog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

StorePicture readPicture(const QJsonObject &object)
{
    const QJsonObject picture = object.value(QLatin1String("picture")).toObject();
    StorePicture result;
    result.format =
            picture.value(QLatin1String("format")).toString(QStringLiteral("jpeg")).toLatin1();
    result.size = QSize(picture.value(QLatin1String("width")).toInt(100),
                        picture.value(QLatin1String("height")).toInt(100));
    return result;
}

bool validPicture(const StorePicture &picture)
{
    return (picture.format == "png" || picture.format == "jpeg") && picture.size.width() > 0
            && picture.size.height() > 0 && picture.size.width() <= 4096
            && picture.size.height() <= 4096;
}

template<typename T>
QList<T> takeInTurns(const QList<QList<T>> &lists, int count)
{
    QList<T> result;
    for (int round = 0; result.size() < count; ++round) {
        bool any = false;
        for (const QList<T> &list : lists) {
            if (round < list.size() && result.size() < count) {
                result.append(list.at(round));
                any = true;
            }
        }
        if (!any)
            break;
    }
    return result;
}

} // namespace

QString StoreCatalog::builtInFileName()
{
    return QStringLiteral(":/vellora/store/catalog.json");
}

bool StoreCatalog::loadFile(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
    return load(file.readAll(), error);
}

bool StoreCatalog::load(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull())
        return fail(error, QStringLiteral("catalog is not JSON: %1").arg(parseError.errorString()));

    QList<StoreArtist> artists;
    QHash<QString, int> artistIndex;
    QHash<QString, QPair<int, int>> albumIndex;
    QSet<QString> trackIds;
    const QJsonArray artistArray = document.object().value(QLatin1String("artists")).toArray();
    for (const QJsonValue &artistValue : artistArray) {
        const QJsonObject artistObject = artistValue.toObject();
        StoreArtist artist;
        artist.id = artistObject.value(QLatin1String("id")).toString();
        artist.name = artistObject.value(QLatin1String("name")).toString();
        artist.genre = artistObject.value(QLatin1String("genre")).toString();
        artist.picture = readPicture(artistObject);
        if (artist.id.isEmpty() || artist.name.isEmpty())
            return fail(error,
                        QStringLiteral("artist %1 lacks an id or a name").arg(artists.size()));
        if (artistIndex.contains(artist.id))
            return fail(error, QStringLiteral("artist id %1 used twice").arg(artist.id));
        if (!validPicture(artist.picture))
            return fail(error, QStringLiteral("artist %1 has a bad picture").arg(artist.id));
        const QJsonArray similar = artistObject.value(QLatin1String("similar")).toArray();
        for (const QJsonValue &id : similar)
            artist.similar.append(id.toString());

        const QJsonArray albumArray = artistObject.value(QLatin1String("albums")).toArray();
        for (const QJsonValue &albumValue : albumArray) {
            const QJsonObject albumObject = albumValue.toObject();
            StoreAlbum album;
            album.id = albumObject.value(QLatin1String("id")).toString();
            album.title = albumObject.value(QLatin1String("title")).toString();
            album.picture = readPicture(albumObject);
            if (album.id.isEmpty() || albumIndex.contains(album.id))
                return fail(error,
                            QStringLiteral("album id \"%1\" missing or used twice").arg(album.id));
            if (!validPicture(album.picture))
                return fail(error, QStringLiteral("album %1 has a bad picture").arg(album.id));
            const QJsonArray trackArray = albumObject.value(QLatin1String("tracks")).toArray();
            for (const QJsonValue &trackValue : trackArray) {
                const QJsonObject trackObject = trackValue.toObject();
                StoreTrack track;
                track.id = trackObject.value(QLatin1String("id")).toString();
                track.title = trackObject.value(QLatin1String("title")).toString();
                track.duration = trackObject.value(QLatin1String("duration")).toInteger();
                if (track.id.isEmpty() || trackIds.contains(track.id))
                    return fail(
                            error,
                            QStringLiteral("track id \"%1\" missing or used twice").arg(track.id));
                trackIds.insert(track.id);
                album.tracks.append(track);
            }
            album.trackCount =
                    albumObject.value(QLatin1String("trackCount")).toInt(album.tracks.size());
            albumIndex.insert(album.id, qMakePair(int(artists.size()), int(artist.albums.size())));
            artist.albums.append(album);
        }
        artistIndex.insert(artist.id, artists.size());
        artists.append(artist);
    }
    if (artists.isEmpty())
        return fail(error, QStringLiteral("catalog holds no artists"));
    for (const StoreArtist &artist : std::as_const(artists)) {
        for (const QString &id : artist.similar) {
            if (!artistIndex.contains(id) || id == artist.id)
                return fail(error,
                            QStringLiteral("artist %1 names unknown similar artist \"%2\"")
                                    .arg(artist.id, id));
        }
    }
    m_artists = artists;
    m_artistIndex = artistIndex;
    m_albumIndex = albumIndex;
    return true;
}

const StoreArtist *StoreCatalog::artist(const QString &id) const
{
    const auto it = m_artistIndex.constFind(id);
    return it == m_artistIndex.constEnd() ? nullptr : &m_artists.at(it.value());
}

StoreAlbumRef StoreCatalog::album(const QString &id) const
{
    const auto it = m_albumIndex.constFind(id);
    if (it == m_albumIndex.constEnd())
        return {};
    const StoreArtist &artist = m_artists.at(it.value().first);
    return { &artist, &artist.albums.at(it.value().second) };
}

QList<const StoreArtist *> StoreCatalog::search(const QString &query) const
{
    QList<const StoreArtist *> exact;
    QList<const StoreArtist *> partial;
    if (query.isEmpty())
        return exact;
    const QString folded = query.toCaseFolded();
    for (const StoreArtist &artist : m_artists) {
        const QString name = artist.name.toCaseFolded();
        if (name == folded)
            exact.append(&artist);
        else if (name.contains(folded))
            partial.append(&artist);
    }
    return exact + partial;
}

QList<const StoreArtist *> StoreCatalog::similarArtists(const StoreArtist &artist) const
{
    QList<const StoreArtist *> result;
    for (const QString &id : artist.similar)
        result.append(this->artist(id));
    return result;
}

QList<StoreTrackRef> StoreCatalog::similarTracks(const StoreArtist &artist, int count) const
{
    QList<QList<StoreTrackRef>> perArtist;
    for (const StoreArtist *similar : similarArtists(artist)) {
        QList<StoreTrackRef> tracks;
        for (const StoreAlbum &album : similar->albums) {
            for (const StoreTrack &track : album.tracks)
                tracks.append({ similar, &album, &track });
        }
        perArtist.append(tracks);
    }
    return takeInTurns(perArtist, count);
}

QList<StoreAlbumRef> StoreCatalog::similarAlbums(const StoreArtist &artist, int count) const
{
    QList<QList<StoreAlbumRef>> perArtist;
    for (const StoreArtist *similar : similarArtists(artist)) {
        QList<StoreAlbumRef> albums;
        for (const StoreAlbum &album : similar->albums)
            albums.append({ similar, &album });
        perArtist.append(albums);
    }
    return takeInTurns(perArtist, count);
}
