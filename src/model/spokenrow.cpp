#include "spokenrow.h"

#include <QTime>

#include "rowfield.h"

namespace {

// The model shows a track's length as "mm:ss", or "h:mm:ss" from an hour on.
QString spokenLength(const QString &shown)
{
    const QTime length =
            QTime::fromString(shown,
                              shown.count(QLatin1Char(':')) == 2 ? QStringLiteral("h:mm:ss")
                                                                 : QStringLiteral("mm:ss"));
    if (!length.isValid())
        return shown;
    QStringList parts;
    if (length.hour() > 0)
        parts.append(qtTrId("qtn_musi_duration_hours", length.hour()));
    if (length.minute() > 0)
        parts.append(qtTrId("qtn_musi_duration_minutes", length.minute()));
    if (length.second() > 0 || parts.isEmpty())
        parts.append(qtTrId("qtn_musi_duration_seconds", length.second()));
    return parts.join(QLatin1Char(' '));
}

QString spokenTrackCount(const QString &shown)
{
    bool isNumber = false;
    const int count = shown.toInt(&isNumber);
    return isNumber ? qtTrId("qtn_musi_vellora_tracks", count) : shown;
}

} // namespace

namespace SpokenRow {

QString text(const QStringList &values, StoreQueries::Similar kind)
{
    QStringList parts { values.value(RowField::Title) };
    const QString subtitle = values.value(RowField::Subtitle);
    const QString side = values.value(RowField::SideText);
    if (kind == StoreQueries::Similar::Tracks) {
        // A track's subtitle is the model's own "artist | album": read as
        // two items, not as a bar between them.
        const qsizetype bar = subtitle.indexOf(QLatin1String(" | "));
        parts.append(bar < 0 ? subtitle : subtitle.left(bar));
        if (bar >= 0)
            parts.append(subtitle.mid(bar + 3));
        parts.append(spokenLength(side));
    } else {
        parts.append(subtitle);
        parts.append(kind == StoreQueries::Similar::Albums ? spokenTrackCount(side) : side);
    }
    parts.removeAll(QString());
    return parts.join(QLatin1String(", "));
}

} // namespace SpokenRow
