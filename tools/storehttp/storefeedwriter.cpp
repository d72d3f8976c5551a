#include "storefeedwriter.h"

#include <QXmlStreamWriter>

#include "storeconstants.h"

namespace {

constexpr QLatin1String atomNs(StoreConstants::AtomNamespace,
                               sizeof(StoreConstants::AtomNamespace) - 1);
constexpr QLatin1String schemaNs(StoreConstants::SchemaNamespace,
                                 sizeof(StoreConstants::SchemaNamespace) - 1);
constexpr QLatin1String updated("2011-06-01T12:00:00Z");

// Writes a complete Atom feed; each entry is written by writeEntry(writer, index).
template<typename EntryWriter>
QByteArray feed(const QString &title, const QString &id, int count, EntryWriter writeEntry)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeDefaultNamespace(atomNs);
    writer.writeNamespace(schemaNs, QStringLiteral("kel"));
    writer.writeStartElement(atomNs, QStringLiteral("feed"));
    writer.writeTextElement(atomNs, QStringLiteral("title"), title);
    writer.writeTextElement(atomNs, QStringLiteral("id"), id);
    writer.writeTextElement(atomNs, QStringLiteral("updated"), updated);
    writer.writeStartElement(atomNs, QStringLiteral("author"));
    writer.writeTextElement(atomNs, QStringLiteral("name"), QStringLiteral("Corvex Music Store"));
    writer.writeEndElement();
    for (int i = 0; i < count; ++i)
        writeEntry(writer, i);
    writer.writeEndDocument();
    return bytes;
}

// The entry's own title comes first: the store's readers take the first
// element named "title" inside an entry.
void startEntry(QXmlStreamWriter &writer, const QString &title, const QString &kind,
                const QString &id)
{
    writer.writeStartElement(atomNs, QStringLiteral("entry"));
    writer.writeTextElement(atomNs, QStringLiteral("title"), title);
    writer.writeTextElement(atomNs, QStringLiteral("id"),
                            QStringLiteral("urn:corvexmusic:%1:%2").arg(kind, id));
    writer.writeTextElement(atomNs, QStringLiteral("updated"), updated);
}

void writeLink(QXmlStreamWriter &writer, const QString &title, const QString &href,
               const QByteArray &format)
{
    if (format.isEmpty())
        return;
    writer.writeEmptyElement(atomNs, QStringLiteral("link"));
    writer.writeAttribute(QStringLiteral("rel"), QStringLiteral("related"));
    writer.writeAttribute(QStringLiteral("title"), title);
    writer.writeAttribute(QStringLiteral("type"), QString::fromLatin1("image/" + format));
    writer.writeAttribute(QStringLiteral("href"), href);
}

void writeMetadata(QXmlStreamWriter &writer, const QList<QPair<QString, QString>> &fields)
{
    writer.writeStartElement(schemaNs, QStringLiteral("metadata"));
    for (const auto &field : fields)
        writer.writeTextElement(atomNs, field.first, field.second);
    writer.writeEndElement();
}

QString extension(const QByteArray &format)
{
    return format == "png" ? QStringLiteral("png") : QStringLiteral("jpg");
}

QString feedId(const QString &kind, const QString &id)
{
    return QStringLiteral("urn:corvexmusic:%1:%2").arg(kind, id);
}

} // namespace

StoreFeedWriter::StoreFeedWriter(const QString &baseUrl) : m_baseUrl(baseUrl) { }

QString StoreFeedWriter::artistPictureName(const StoreArtist &artist)
{
    if (!artist.picture.name.isEmpty())
        return artist.picture.name;
    return QStringLiteral("artist/%1.%2").arg(artist.id, extension(artist.picture.format));
}

QString StoreFeedWriter::albumPictureName(const StoreAlbum &album)
{
    if (!album.picture.name.isEmpty())
        return album.picture.name;
    return QStringLiteral("album/%1.%2").arg(album.id, extension(album.picture.format));
}

QByteArray StoreFeedWriter::contentType(const QByteArray &format)
{
    return "image/" + format;
}

QString StoreFeedWriter::pictureUrl(const QString &name) const
{
    return m_baseUrl + QLatin1String("/pictures/") + name;
}

QByteArray StoreFeedWriter::serviceDocument(const QString &countryCode, const QString &apiUrl) const
{
    const QString appNs = QLatin1String(StoreConstants::AtomPubNamespace);
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeDefaultNamespace(appNs);
    writer.writeNamespace(atomNs, QStringLiteral("atom"));
    writer.writeNamespace(schemaNs, QStringLiteral("kel"));
    writer.writeStartElement(appNs, QStringLiteral("service"));
    writer.writeStartElement(appNs, QStringLiteral("workspace"));
    writer.writeAttribute(schemaNs, QStringLiteral("countryCode"), countryCode);
    writer.writeTextElement(atomNs, QStringLiteral("title"), QStringLiteral("Corvex Music Store"));
    writer.writeStartElement(appNs, QStringLiteral("collection"));
    writer.writeAttribute(QStringLiteral("href"),
                          apiUrl + countryCode + QLatin1String("/artists/"));
    writer.writeTextElement(atomNs, QStringLiteral("title"), QStringLiteral("Artists"));
    writer.writeEmptyElement(appNs, QStringLiteral("accept"));
    writer.writeEndDocument();
    return bytes;
}

QByteArray StoreFeedWriter::artistSearchFeed(const QString &query,
                                             const QList<const StoreArtist *> &artists) const
{
    return feed(QStringLiteral("Artists matching %1").arg(query),
                feedId(QStringLiteral("search"), query), artists.size(),
                [&](QXmlStreamWriter &writer, int i) {
                    const StoreArtist &artist = *artists.at(i);
                    startEntry(writer, artist.name, QStringLiteral("artist"), artist.id);
                    writeMetadata(writer,
                                  { { QStringLiteral("id"), artist.id },
                                    { QStringLiteral("genre"), artist.genre } });
                    writer.writeEndElement();
                });
}

QByteArray StoreFeedWriter::similarTracksFeed(const StoreArtist &artist,
                                              const QList<StoreTrackRef> &tracks) const
{
    return feed(QStringLiteral("Tracks similar to %1").arg(artist.name),
                feedId(QStringLiteral("similar-tracks"), artist.id), tracks.size(),
                [&](QXmlStreamWriter &writer, int i) {
                    const StoreTrackRef &ref = tracks.at(i);
                    startEntry(writer, ref.track->title, QStringLiteral("track"), ref.track->id);
                    writeLink(writer, QStringLiteral("albumart100"),
                              pictureUrl(albumPictureName(*ref.album)),
                              ref.album->picture.format);
                    QList<QPair<QString, QString>> fields = {
                        { QStringLiteral("primaryartist"), ref.artist->name },
                        { QStringLiteral("takenfrom"), ref.album->title },
                        { QStringLiteral("duration"), QString::number(ref.track->duration) },
                        { QStringLiteral("id"), ref.track->id }
                    };
                    // A length nobody knows is left out rather than shown as nothing.
                    if (ref.track->duration <= 0)
                        fields.removeAt(2);
                    writeMetadata(writer, fields);
                    writer.writeEndElement();
                });
}

QByteArray StoreFeedWriter::similarAlbumsFeed(const StoreArtist &artist,
                                              const QList<StoreAlbumRef> &albums) const
{
    return feed(QStringLiteral("Albums similar to %1").arg(artist.name),
                feedId(QStringLiteral("similar-albums"), artist.id), albums.size(),
                [&](QXmlStreamWriter &writer, int i) {
                    const StoreAlbumRef &ref = albums.at(i);
                    startEntry(writer, ref.album->title, QStringLiteral("album"), ref.album->id);
                    writeLink(writer, QStringLiteral("albumart100"),
                              pictureUrl(albumPictureName(*ref.album)),
                              ref.album->picture.format);
                    writeMetadata(writer,
                                  { { QStringLiteral("primaryartist"), ref.artist->name },
                                    { QStringLiteral("trackcount"),
                                      QString::number(ref.album->trackCount) },
                                    { QStringLiteral("id"), ref.album->id } });
                    writer.writeEndElement();
                });
}

QByteArray StoreFeedWriter::similarArtistsFeed(const StoreArtist &artist,
                                               const QList<const StoreArtist *> &artists) const
{
    return feed(QStringLiteral("Artists similar to %1").arg(artist.name),
                feedId(QStringLiteral("similar-artists"), artist.id), artists.size(),
                [&](QXmlStreamWriter &writer, int i) {
                    const StoreArtist &other = *artists.at(i);
                    startEntry(writer, other.name, QStringLiteral("artist"), other.id);
                    writeLink(writer, QStringLiteral("artistImage100"),
                              pictureUrl(artistPictureName(other)),
                              other.picture.format);
                    writeMetadata(writer, { { QStringLiteral("id"), other.id } });
                    writer.writeEndElement();
                });
}

namespace {

QList<StoreArtist> generatedArtists(int count)
{
    QList<StoreArtist> artists;
    artists.reserve(count);
    for (int i = 0; i < count; ++i) {
        StoreArtist artist;
        artist.id = QStringLiteral("gen%1").arg(i);
        artist.name = QStringLiteral("Generated Artist %1").arg(i);
        artist.genre = QStringLiteral("generated");
        artist.picture = { "jpeg", QSize(100, 100), QString() };
        StoreAlbum album;
        album.id = QStringLiteral("genal%1").arg(i);
        album.title = QStringLiteral("Generated Album %1").arg(i);
        album.trackCount = 1;
        album.picture = artist.picture;
        album.tracks.append({ QStringLiteral("gentr%1").arg(i),
                              QStringLiteral("Generated Track %1").arg(i), 100 + i });
        artist.albums.append(album);
        artists.append(artist);
    }
    return artists;
}

} // namespace

QByteArray StoreFeedWriter::generatedSimilarTracksFeed(int count, const QString &baseUrl)
{
    const QList<StoreArtist> artists = generatedArtists(count);
    QList<StoreTrackRef> tracks;
    for (const StoreArtist &artist : artists)
        tracks.append({ &artist, &artist.albums.first(), &artist.albums.first().tracks.first() });
    StoreArtist seed;
    seed.id = QStringLiteral("generated");
    seed.name = QStringLiteral("Generated");
    return StoreFeedWriter(baseUrl).similarTracksFeed(seed, tracks);
}

QByteArray StoreFeedWriter::generatedArtistSearchFeed(int count, const QString &baseUrl)
{
    const QList<StoreArtist> artists = generatedArtists(count);
    QList<const StoreArtist *> refs;
    for (const StoreArtist &artist : artists)
        refs.append(&artist);
    return StoreFeedWriter(baseUrl).artistSearchFeed(QStringLiteral("Generated"), refs);
}
