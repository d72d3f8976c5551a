#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// What the store answers one request: status, content type, body and any
// further headers. A fault may still change it, and how it is written.
struct StoreAnswer
{
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};
