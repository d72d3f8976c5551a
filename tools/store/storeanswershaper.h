#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include "storeanswer.h"
#include "storefault.h"

class QSize;

// What a fault makes of an answer's status, headers and body: broken or
// hostile documents and pictures. When and how the answer is written is the
// server's part; the faults that only change that leave the answer as it is.
class StoreAnswerShaper
{
public:
    // baseUrl is the store's own address, for links that lead back to it.
    StoreAnswer reshape(const StoreAnswer &answer, const StoreFault &fault, const QString &baseUrl);

private:
    // Drawn once for each size and format; they take a while to encode.
    QByteArray hugePicture(const QSize &size, const QByteArray &format, bool progressive = false);

    QHash<QString, QByteArray> m_hugePictures;
};
