#include "mprischange.h"

#include <QDBusArgument>
#include <QRegularExpression>

namespace {

// No real artist, album, title or genre comes near these; a player that
// publishes more is broken or hostile, and what it sends is not passed on.
const qsizetype MaxTextLength = 1024;
const qsizetype MaxTexts = 16;

// Real players send a few dozen properties and metadata keys; what comes
// after this many is not read.
const int MaxKeys = 64;

// A map as it arrives inside a variant, still marshalled or already read:
// its first MaxKeys entries.
QVariantMap toMap(const QVariant &value)
{
    QVariantMap map;
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) {
        const QVariantMap whole = value.toMap();
        for (auto it = whole.cbegin(); it != whole.cend() && map.size() < MaxKeys; ++it)
            map.insert(it.key(), it.value());
        return map;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{sv}"))
        return map;
    argument.beginMap();
    for (int entries = 0; !argument.atEnd() && entries < MaxKeys; ++entries) {
        QString key;
        QDBusVariant entry;
        argument.beginMapEntry();
        argument >> key >> entry;
        argument.endMapEntry();
        map.insert(key, entry.variant());
    }
    return map;
}

} // namespace

QString MprisChange::firstText(const QVariant &value)
{
    QStringList texts;
    if (value.metaType() == QMetaType::fromType<QString>())
        texts.append(value.toString());
    else if (value.metaType() == QMetaType::fromType<QStringList>())
        texts = value.toStringList().mid(0, MaxTexts);
    for (const QString &text : std::as_const(texts)) {
        if (text.size() <= MaxTextLength && !text.trimmed().isEmpty())
            return text.trimmed();
    }
    return QString();
}

QString MprisChange::firstArtist(const QString &artist, const QString &albumArtist)
{
    // ";" joins artists in no name; neither does " feat. " or " ft. ".
    static const QRegularExpression joined(QStringLiteral("\\s*;\\s*|\\s+(?:feat|ft)\\.?\\s+"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString first = artist.section(joined, 0, 0, QString::SectionSkipEmpty).trimmed();
    if (first.isEmpty())
        first = artist;
    // A comma or an ampersand belongs to many a name ("Earth, Wind & Fire"):
    // the list is cut only where the album's artist shows where.
    for (const QLatin1String separator : { QLatin1String(", "), QLatin1String(" & ") }) {
        if (!albumArtist.isEmpty() && first.startsWith(albumArtist + separator))
            return albumArtist;
    }
    return first;
}

PlayerTrack MprisChange::trackFromMetadata(const QVariantMap &metadata)
{
    const QString artist =
            firstArtist(firstText(metadata.value(QStringLiteral("xesam:artist"))),
                        firstText(metadata.value(QStringLiteral("xesam:albumArtist"))));
    if (artist.isEmpty())
        return PlayerTrack();
    return { artist, firstText(metadata.value(QStringLiteral("xesam:album"))),
             firstText(metadata.value(QStringLiteral("xesam:title"))),
             firstText(metadata.value(QStringLiteral("xesam:genre"))) };
}

MprisChange MprisChange::of(const QVariant &value)
{
    const QVariantMap properties = toMap(value);
    MprisChange change;
    const auto status = properties.constFind(QStringLiteral("PlaybackStatus"));
    if (status != properties.constEnd())
        change.status = status->toString();
    const auto metadata = properties.constFind(QStringLiteral("Metadata"));
    if (metadata != properties.constEnd())
        change.track = trackFromMetadata(toMap(*metadata));
    // Only a true boolean allows; anything else a player sends does not.
    const auto allows = [&properties](const QString &name) -> std::optional<bool> {
        const auto value = properties.constFind(name);
        if (value == properties.constEnd())
            return std::nullopt;
        return value->metaType() == QMetaType::fromType<bool>() && value->toBool();
    };
    change.canGoPrevious = allows(QStringLiteral("CanGoPrevious"));
    change.canPlay = allows(QStringLiteral("CanPlay"));
    change.canPause = allows(QStringLiteral("CanPause"));
    change.canGoNext = allows(QStringLiteral("CanGoNext"));
    return change;
}
