#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QJsonValue;

// Reads what MusicBrainz, ListenBrainz and its labs API answer. Every answer
// is untrusted: at most MaxJsonBytes, rows at most MaxRows, each field of the
// type it should be or the row is dropped, texts at most MaxTextLength
// characters without control characters, ids only where they are MBIDs, and
// the same row twice kept once.
class UpstreamAnswers
{
public:
    static constexpr qsizetype MaxJsonBytes = 2 * 1024 * 1024;
    static constexpr int MaxRows = 200;
    static constexpr int MaxTextLength = 200;

    struct Artist
    {
        QString mbid;
        QString name;
        QString disambiguation;
        int score = 0;
    };
    struct Album
    {
        QString mbid;
        QString title;
        QString date;
    };
    struct Release
    {
        QString mbid;
        int trackCount = 0;
        bool front = false;
    };
    struct Recording
    {
        QString mbid;
        QString title;
        QString artistCredit;
        QString album;
        QString releaseMbid;
        qint64 lengthMs = 0; // 0: unknown
        // The archive's own picture of the release, where ListenBrainz knows one.
        QString coverRelease;
        QString coverId;
    };
    struct RadioPick
    {
        QString recordingMbid;
        Artist artist;
    };

    // A JSON document of at most MaxJsonBytes.
    static bool isJson(const QByteArray &json);
    // Lower-case 8-4-4-4-12 hexadecimal digits.
    static bool isMbid(const QString &text);
    // A string value cleaned and cut to MaxTextLength; empty for anything else.
    static QString text(const QJsonValue &value);

    // Names equal to name (letter case aside) first, then by score, best first.
    static QList<Artist> artistSearch(const QByteArray &json, const QString &name);
    // The labs similar-artists answer, best score first, without self.
    static QList<Artist> similarArtists(const QByteArray &json, const QString &self);
    // LB Radio's artist answer: one pick per similar artist, in its order.
    static QList<RadioPick> radio(const QByteArray &json, const QString &self);
    // Release groups of primary type Album without secondary types, oldest first.
    static QList<Album> albums(const QByteArray &json);
    // Releases with their media's track counts summed.
    static QList<Release> releases(const QByteArray &json);
    // ListenBrainz's recording metadata, which is keyed by recording MBID.
    static QList<Recording> recordings(const QByteArray &json);
    // Lucene's special characters escaped, for a phrase in quotes.
    static QString luceneEscaped(const QString &text);
};
