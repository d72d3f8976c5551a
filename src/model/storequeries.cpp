#include "storequeries.h"

#include <QTime>

namespace StoreQueries {

QStringList rowOf(const QuerySet &set, const QStringList &entry)
{
    int size = 0;
    for (const RowSource &source : set.row)
        size = qMax(size, source.field + 1);
    QStringList row(size);
    for (const RowSource &source : set.row) {
        QStringList texts;
        for (const QString &column : source.columns)
            texts.append(entry.value(set.columns.indexOf(column)));
        row[source.field] = source.seconds ? clockTime(texts.value(0).toInt(nullptr, 10))
                                           : texts.join(QStringLiteral(" | "));
    }
    return row;
}

QString clockTime(int seconds)
{
    const QTime time = QTime(0, 0).addSecs(seconds);
    return time.toString(seconds < 3600 ? QStringLiteral("mm:ss") : QStringLiteral("h:mm:ss"));
}

} // namespace StoreQueries
