#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include "storehttplistener.h"

class StoreHttpConnection;
struct StoreHttpRequest;

// MusicBrainz, ListenBrainz, its labs API and the Cover Art Archive on
// 127.0.0.1, under the roots musicBrainzRoot() and so on: each answer is the
// one a route file names for the request's path and query, in the services'
// own formats; anything else is a 404 page in HTML, as the services send.
// Covers of the releases the file lists come by a 307 to an archive path.
// Faults break the answers of a path, and every request is logged.
class UpstreamEmulator : public QObject
{
    Q_OBJECT

public:
    enum class Fault {
        Unavailable,
        TooMany,
        Stall,
        CutBody,
        Malformed,
        Huge,
        RedirectLoop,
        Fails,
        Drip // a byte a second, never idle long enough to time out
    };
    struct Logged
    {
        QString service; // "musicbrainz", "listenbrainz", "labs", "coverart", "archive"
        QString target; // decoded path and query under the service's root
        qint64 atMs = 0; // since the emulator started
        QByteArray userAgent;
    };

    explicit UpstreamEmulator(const QString &routesFile, QObject *parent = nullptr);

    bool start();
    QString musicBrainzRoot() const { return m_listener.baseUrl() + QLatin1String("/ws/2"); }
    QString listenBrainzRoot() const { return m_listener.baseUrl() + QLatin1String("/lb"); }
    QString labsRoot() const { return m_listener.baseUrl() + QLatin1String("/labs"); }
    QString coverArtRoot() const { return m_listener.baseUrl() + QLatin1String("/caa"); }
    // The options that point the bridge here.
    QStringList bridgeArguments() const;

    // Requests whose target contains text get the fault, times times (0: always).
    void addFault(const QString &text, Fault fault, int times = 0, int retryAfterSecs = 1);
    void clearFaults() { m_faults.clear(); }

    QList<Logged> log() const { return m_log; }
    int count(const QString &service) const;
    // The fewest milliseconds between two requests to the service.
    qint64 closestGapMs(const QString &service) const;

private:
    struct FaultEntry
    {
        QString text;
        Fault fault;
        int times;
        int retryAfterSecs;
    };
    void handleRequest(const StoreHttpRequest &request, StoreHttpConnection *connection);

    QJsonObject m_routes;
    QList<QString> m_covers;
    QList<FaultEntry> m_faults;
    QList<Logged> m_log;
    QElapsedTimer m_clock;
    StoreHttpListener m_listener;
};
