#pragma once

#include <QList>
#include <QString>

#include "playertrack.h"
#include "storeserver.h"

// The store emulator on 127.0.0.1, with the store client's settings file
// of the current home pointed at it.
class DemoStore
{
public:
    static const char territory[];

    DemoStore();

    bool start();
    StoreServer &server();
    const StoreServer &server() const;

    // Writes host, territory, token and version into the settings file that
    // the panel reads; the home must be a throw-away one.
    void writeClientSettings() const;
    // The same for any store on 127.0.0.1 that speaks the store's API.
    static void writeClientSettings(quint16 port, const QString &token, const QString &version);

    // The first track of the first album of each of the first count
    // artists of the catalog, with the artist's genre.
    QList<PlayerTrack> sampleTracks(int count) const;

private:
    StoreServer m_server;
};
