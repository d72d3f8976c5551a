#include "demostore.h"

#include <QSettings>

const char DemoStore::territory[] = "gb";

DemoStore::DemoStore() = default;

bool DemoStore::start()
{
    return m_server.start();
}

StoreServer &DemoStore::server()
{
    return m_server;
}

const StoreServer &DemoStore::server() const
{
    return m_server;
}

void DemoStore::writeClientSettings() const
{
    writeClientSettings(m_server.port(), m_server.token(), m_server.apiVersion());
}

void DemoStore::writeClientSettings(quint16 port, const QString &token, const QString &version)
{
    QSettings settings(QStringLiteral("Corvex"), QStringLiteral("Sondrel"));
    settings.setValue(QStringLiteral("User/territory"), QLatin1String(territory));
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/protocol"),
                      QStringLiteral("http"));
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/host"),
                      QStringLiteral("127.0.0.1:%1").arg(port));
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/clientDeviceToken"), token);
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/version"), version);
    settings.sync();
}

QList<PlayerTrack> DemoStore::sampleTracks(int count) const
{
    QList<PlayerTrack> tracks;
    const QList<StoreArtist> &artists = m_server.catalog().artists();
    for (const StoreArtist &artist : artists) {
        if (tracks.size() >= count)
            break;
        if (artist.albums.isEmpty() || artist.albums.constFirst().tracks.isEmpty())
            continue;
        const StoreAlbum &album = artist.albums.constFirst();
        tracks.append({ artist.name, album.title, album.tracks.constFirst().title, artist.genre });
    }
    return tracks;
}
