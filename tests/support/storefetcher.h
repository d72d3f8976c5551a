#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QString>

// Asks the store emulator for its answers the way a client would, and builds
// the addresses of the store's queries under the emulator's base address.
class StoreFetcher
{
public:
    struct Reply
    {
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        int status = 0;
        QByteArray contentType;
        QByteArray body;
        bool finished = false;
    };

    void setBaseUrl(const QString &baseUrl) { m_baseUrl = baseUrl; }

    // Waits for the whole reply; transferTimeoutMs 0 keeps the default.
    Reply fetch(const QString &url, int transferTimeoutMs = 0);
    // The body of a reply that finished without error, or nothing.
    QByteArray get(const QString &url);

    // The addresses of the store's queries, as the plug-in builds them. The
    // search query goes in as written; an artist's name is encoded first.
    QString api() const;
    QString searchUrl(const QString &query, const QString &token = defaultToken()) const;
    QString artistSearchUrl(const QString &artist, const QString &token = defaultToken()) const;
    QString similarUrl(const QString &id, const QString &what, int items = 4,
                       const QString &token = defaultToken()) const;
    QString territoryUrl(const QString &mcc) const;
    static QString defaultToken();

private:
    QNetworkAccessManager m_manager;
    QString m_baseUrl;
};
