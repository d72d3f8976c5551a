#pragma once

#include <QString>
#include <QVariant>

// The store client's own settings, where the panel reads the store's address,
// the device token and the territory.
class StoreClientSettings
{
public:
    static QString fileName();
    // Replaces every setting with the address 127.0.0.1:port, the token unless
    // it is null and the territory unless it is invalid.
    static bool write(quint16 port, const QString &token = QString(),
                      const QVariant &territory = QVariant());
};
