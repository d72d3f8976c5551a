#include "upstreamanswers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

QJsonDocument parsed(const QByteArray &json)
{
    // Qt's parser refuses nesting deeper than it can take on its own.
    if (json.size() > UpstreamAnswers::MaxJsonBytes)
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    return error.error == QJsonParseError::NoError ? document : QJsonDocument();
}

// At most MaxRows of an array's objects.
QList<QJsonObject> rows(const QJsonValue &value)
{
    QList<QJsonObject> result;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &row : array) {
        if (result.size() >= UpstreamAnswers::MaxRows)
            break;
        if (row.isObject())
            result.append(row.toObject());
    }
    return result;
}

// A score as an integer, or as the string that older answers gave.
int score(const QJsonValue &value)
{
    if (value.isDouble())
        return int(qBound(0.0, value.toDouble(), 1e9));
    return value.isString() ? qBound(0, value.toString().left(9).toInt(), 1000000000) : 0;
}

UpstreamAnswers::Artist artist(const QJsonValue &id, const QJsonValue &name, const QJsonValue &s)
{
    UpstreamAnswers::Artist artist;
    artist.mbid = id.toString();
    artist.name = UpstreamAnswers::text(name);
    artist.score = score(s);
    if (!UpstreamAnswers::isMbid(artist.mbid) || artist.name.isEmpty())
        return {};
    return artist;
}

} // namespace

bool UpstreamAnswers::isJson(const QByteArray &json)
{
    return !parsed(json).isNull();
}

bool UpstreamAnswers::isMbid(const QString &text)
{
    static const QRegularExpression mbid(QStringLiteral(
            "^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    return text.size() == 36 && mbid.match(text).hasMatch();
}

QString UpstreamAnswers::text(const QJsonValue &value)
{
    QString result;
    // Code point by code point: a lone half of a surrogate pair comes as U+FFFD.
    const QList<uint> points = value.toString().toUcs4();
    for (const uint point : points) {
        // What XML cannot carry, and what would turn or hide the text around it.
        const QChar::Category category = QChar::category(char32_t(point));
        if (category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph
            || point == 0xfffe || point == 0xffff)
            continue;
        const bool pair = QChar::requiresSurrogates(char32_t(point));
        if (result.size() + (pair ? 2 : 1) > MaxTextLength)
            break;
        if (pair) {
            result += QChar(QChar::highSurrogate(char32_t(point)));
            result += QChar(QChar::lowSurrogate(char32_t(point)));
        } else {
            result += QChar(char16_t(point));
        }
    }
    return result.trimmed();
}

QList<UpstreamAnswers::Artist> UpstreamAnswers::artistSearch(const QByteArray &json,
                                                             const QString &name)
{
    QList<Artist> artists;
    QSet<QString> seen;
    const QList<QJsonObject> found = rows(parsed(json).object().value(QLatin1String("artists")));
    for (const QJsonObject &row : found) {
        Artist entry = artist(row.value(QLatin1String("id")), row.value(QLatin1String("name")),
                              row.value(QLatin1String("score")));
        if (entry.mbid.isEmpty() || seen.contains(entry.mbid))
            continue;
        entry.disambiguation = text(row.value(QLatin1String("disambiguation")));
        seen.insert(entry.mbid);
        artists.append(entry);
    }
    std::stable_sort(artists.begin(), artists.end(), [&name](const Artist &a, const Artist &b) {
        const bool aExact = a.name.compare(name, Qt::CaseInsensitive) == 0;
        const bool bExact = b.name.compare(name, Qt::CaseInsensitive) == 0;
        return aExact != bExact ? aExact : a.score > b.score;
    });
    return artists;
}

QList<UpstreamAnswers::Artist> UpstreamAnswers::similarArtists(const QByteArray &json,
                                                               const QString &self)
{
    QList<Artist> artists;
    QSet<QString> seen { self };
    const QList<QJsonObject> found = rows(parsed(json).array());
    for (const QJsonObject &row : found) {
        const Artist entry = artist(row.value(QLatin1String("artist_mbid")),
                                    row.value(QLatin1String("name")),
                                    row.value(QLatin1String("score")));
        if (entry.mbid.isEmpty() || seen.contains(entry.mbid))
            continue;
        seen.insert(entry.mbid);
        artists.append(entry);
    }
    std::stable_sort(artists.begin(), artists.end(),
                     [](const Artist &a, const Artist &b) { return a.score > b.score; });
    return artists;
}

QList<UpstreamAnswers::RadioPick> UpstreamAnswers::radio(const QByteArray &json,
                                                         const QString &self)
{
    QList<RadioPick> picks;
    QSet<QString> seen { self };
    const QList<QJsonObject> found = rows(parsed(json).object().value(self));
    for (const QJsonObject &row : found) {
        RadioPick pick;
        pick.recordingMbid = row.value(QLatin1String("recording_mbid")).toString();
        pick.artist = artist(row.value(QLatin1String("similar_artist_mbid")),
                             row.value(QLatin1String("similar_artist_name")),
                             row.value(QLatin1String("total_listen_count")));
        if (!isMbid(pick.recordingMbid) || pick.artist.mbid.isEmpty()
            || seen.contains(pick.artist.mbid))
            continue;
        seen.insert(pick.artist.mbid);
        picks.append(pick);
    }
    return picks;
}

QList<UpstreamAnswers::Album> UpstreamAnswers::albums(const QByteArray &json)
{
    QList<Album> albums;
    QSet<QString> seen;
    const QList<QJsonObject> found =
            rows(parsed(json).object().value(QLatin1String("release-groups")));
    for (const QJsonObject &row : found) {
        Album album { row.value(QLatin1String("id")).toString(),
                      text(row.value(QLatin1String("title"))),
                      text(row.value(QLatin1String("first-release-date"))) };
        const QJsonValue secondary = row.value(QLatin1String("secondary-types"));
        if (!isMbid(album.mbid) || album.title.isEmpty() || seen.contains(album.mbid)
            || row.value(QLatin1String("primary-type")).toString() != QLatin1String("Album")
            || !(secondary.isUndefined() || secondary.isNull()
                 || (secondary.isArray() && secondary.toArray().isEmpty())))
            continue;
        seen.insert(album.mbid);
        albums.append(album);
    }
    // Undated last.
    std::stable_sort(albums.begin(), albums.end(), [](const Album &a, const Album &b) {
        return a.date.isEmpty() != b.date.isEmpty() ? b.date.isEmpty() : a.date < b.date;
    });
    return albums;
}

QList<UpstreamAnswers::Release> UpstreamAnswers::releases(const QByteArray &json)
{
    QList<Release> releases;
    QSet<QString> seen;
    const QList<QJsonObject> found = rows(parsed(json).object().value(QLatin1String("releases")));
    for (const QJsonObject &row : found) {
        Release release;
        release.mbid = row.value(QLatin1String("id")).toString();
        if (!isMbid(release.mbid) || seen.contains(release.mbid))
            continue;
        const QList<QJsonObject> media = rows(row.value(QLatin1String("media")));
        for (const QJsonObject &medium : media) {
            const QJsonValue count = medium.value(QLatin1String("track-count"));
            if (count.isDouble())
                release.trackCount += int(qBound(0.0, count.toDouble(), 1000.0));
        }
        release.front = row.value(QLatin1String("cover-art-archive"))
                                .toObject()
                                .value(QLatin1String("front"))
                                .toBool();
        seen.insert(release.mbid);
        releases.append(release);
    }
    return releases;
}

QList<UpstreamAnswers::Recording> UpstreamAnswers::recordings(const QByteArray &json)
{
    static const QRegularExpression coverId(QStringLiteral("^[0-9]{1,19}$"));
    QList<Recording> recordings;
    const QJsonObject answer = parsed(json).object();
    for (auto entry = answer.begin(); entry != answer.end(); ++entry) {
        if (recordings.size() >= MaxRows)
            break;
        const QJsonObject row = entry.value().toObject();
        const QJsonObject metadata = row.value(QLatin1String("recording")).toObject();
        Recording recording;
        recording.mbid = entry.key();
        recording.title = text(metadata.value(QLatin1String("name")));
        if (!isMbid(recording.mbid) || recording.title.isEmpty())
            continue;
        const QJsonValue length = metadata.value(QLatin1String("length"));
        if (length.isDouble())
            recording.lengthMs = qint64(qBound(0.0, length.toDouble(), 1e9));
        recording.artistCredit =
                text(row.value(QLatin1String("artist")).toObject().value(QLatin1String("name")));
        const QJsonObject release = row.value(QLatin1String("release")).toObject();
        const QString releaseMbid = release.value(QLatin1String("mbid")).toString();
        if (isMbid(releaseMbid)) {
            recording.releaseMbid = releaseMbid;
            recording.album = text(release.value(QLatin1String("name")));
        }
        // The id is a number, which a double carries exactly only so far.
        const QJsonValue id = release.value(QLatin1String("caa_id"));
        const QString idText = id.isDouble() && id.toDouble() >= 1 && id.toDouble() < 9e15
                ? QString::number(qint64(id.toDouble()))
                : id.toString();
        const QString coverRelease = release.value(QLatin1String("caa_release_mbid")).toString();
        if (isMbid(coverRelease) && coverId.match(idText).hasMatch()) {
            recording.coverRelease = coverRelease;
            recording.coverId = idText;
        }
        recordings.append(recording);
    }
    return recordings;
}

QString UpstreamAnswers::luceneEscaped(const QString &text)
{
    static const QString special = QStringLiteral("+-&|!(){}[]^\"~*?:\\/");
    QString escaped;
    for (const QChar c : text) {
        if (special.contains(c))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}
