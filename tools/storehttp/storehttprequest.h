#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QUrl>

// One request as the store read it off a connection: its method, the address
// it asked for (whole, with the host it named) and its header fields.
struct StoreHttpRequest
{
    QByteArray method;
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Whether the client keeps the connection after the answer: HTTP/1.1
    // unless it says "close", HTTP/1.0 only when it says "keep-alive".
    bool keepAlive = true;

    // The first field of that name, whatever its case; empty when absent.
    QByteArray value(const QByteArray &name) const;

    // Splits a query as sent and percent-decodes each value exactly once;
    // the first of a repeated key counts.
    static QHash<QString, QString> queryValues(const QString &query);
};
