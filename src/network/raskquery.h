#pragma once

#include <QByteArray>
#include <QString>

// One store query: the URL exactly as the consumer asked for it and, once there, its answer body.
struct RaskQuery
{
    QString url;
    QByteArray data;
};
