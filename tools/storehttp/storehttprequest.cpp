#include "storehttprequest.h"

QByteArray StoreHttpRequest::value(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

QHash<QString, QString> StoreHttpRequest::queryValues(const QString &query)
{
    QHash<QString, QString> values;
    const QStringList items = query.split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString &item : items) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? item : item.left(equals);
        const QString value = equals < 0 ? QString() : item.mid(equals + 1);
        if (!values.contains(key))
            values.insert(key, QUrl::fromPercentEncoding(value.toUtf8()));
    }
    return values;
}
