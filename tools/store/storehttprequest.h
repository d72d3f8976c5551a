#pragma once

#include <QByteArray>
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

    // The first field of that name, whatever its case; empty when absent.
    QByteArray value(const QByteArray &name) const;
};
