#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class QCommandLineParser;

// Where the bridge asks and who it says it is: the upstream services' roots
// (the public services unless told otherwise), how often MusicBrainz is asked,
// the similarity algorithm of ListenBrainz's labs API, and the contact that
// goes into the User-Agent.
// vellora-bridge and vellora-player --open-data take the same options.
struct BridgeOptions
{
    // MusicBrainz asks for one request a second; a little more keeps two
    // requests out of any one second however the timers fall. Only a
    // mirror of one's own may be asked more often.
    static constexpr int PublicMusicBrainzIntervalMs = 1050;

    QUrl musicBrainz { QStringLiteral("https://musicbrainz.org/ws/2") };
    QUrl listenBrainz { QStringLiteral("https://api.listenbrainz.org") };
    QUrl listenBrainzLabs { QStringLiteral("https://labs.api.listenbrainz.org") };
    QUrl coverArt { QStringLiteral("https://coverartarchive.org") };
    QString algorithm = QStringLiteral(
            "session_based_days_7500_session_300_contribution_5_threshold_10_limit_100_filter_"
            "True_skip_30");
    int musicBrainzIntervalMs = PublicMusicBrainzIntervalMs;
    QString contact;
    QString cacheFolder; // empty: the user's cache folder's "vellora-bridge"
    // However it trickles in, an upstream answer ends by then (0: the
    // services' own deadline).
    int requestDeadlineMs = 0;

    // "vellora-bridge/VERSION ( CONTACT )", or the project's page without a contact.
    QByteArray userAgent() const;
    // The public page of an artist, release group or recording on the site
    // the MusicBrainz root belongs to.
    QUrl page(const QString &kind, const QString &mbid) const;

    static void addTo(QCommandLineParser *parser);
    // False with the reason for a root that is not an http or https URL, or
    // an interval that would ask the public MusicBrainz too often.
    static bool read(const QCommandLineParser &parser, BridgeOptions *options, QString *error);
};
