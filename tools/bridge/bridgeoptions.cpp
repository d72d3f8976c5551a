#include "bridgeoptions.h"

#include <QCommandLineParser>

namespace {

struct Root
{
    const char *name;
    const char *what;
    QUrl BridgeOptions::*url;
};

const Root roots[] = {
    { "musicbrainz", "MusicBrainz web service root", &BridgeOptions::musicBrainz },
    { "listenbrainz", "ListenBrainz API root", &BridgeOptions::listenBrainz },
    { "listenbrainz-labs", "ListenBrainz labs API root", &BridgeOptions::listenBrainzLabs },
    { "coverart", "Cover Art Archive root", &BridgeOptions::coverArt },
};

} // namespace

QByteArray BridgeOptions::userAgent() const
{
    const QString contactPart =
            contact.isEmpty() ? QStringLiteral("maintainers@libvellora.example") : contact;
    // Parentheses and line ends would break the field's form.
    QString cleaned;
    const QString bounded = contactPart.left(200);
    for (const QChar c : bounded) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && c != QLatin1Char('(')
            && c != QLatin1Char(')'))
            cleaned += c;
    }
    return "vellora-bridge/" VELLORA_VERSION " ( " + cleaned.toLatin1() + " )";
}

QUrl BridgeOptions::page(const QString &kind, const QString &mbid) const
{
    QUrl site = musicBrainz;
    QString path = site.path();
    if (path.endsWith(QLatin1String("/ws/2")) || path.endsWith(QLatin1String("/ws/2/")))
        path.truncate(path.lastIndexOf(QLatin1String("/ws/2")));
    site.setPath(path + QLatin1Char('/') + kind + QLatin1Char('/') + mbid);
    site.setQuery(QString());
    return site;
}

void BridgeOptions::addTo(QCommandLineParser *parser)
{
    const BridgeOptions defaults;
    for (const Root &root : roots) {
        parser->addOption({ QLatin1String(root.name),
                            QStringLiteral("%1 (default %2).")
                                    .arg(QLatin1String(root.what), (defaults.*root.url).toString()),
                            QStringLiteral("URL") });
    }
    parser->addOption({ QStringLiteral("musicbrainz-interval"),
                        QStringLiteral("Least time between two MusicBrainz requests (default %1); "
                                       "shorter only for a mirror of your own.")
                                .arg(PublicMusicBrainzIntervalMs),
                        QStringLiteral("MS") });
    parser->addOption({ QStringLiteral("algorithm"),
                        QStringLiteral("ListenBrainz labs similarity algorithm (default %1).")
                                .arg(defaults.algorithm),
                        QStringLiteral("NAME") });
    parser->addOption({ QStringLiteral("contact"),
                        QStringLiteral("Your e-mail address or web page, sent in the User-Agent "
                                       "as MusicBrainz asks."),
                        QStringLiteral("CONTACT") });
    parser->addOption({ QStringLiteral("cache"),
                        QStringLiteral("Cache folder (default: vellora-bridge in the user's "
                                       "cache folder)."),
                        QStringLiteral("FOLDER") });
}

bool BridgeOptions::read(const QCommandLineParser &parser, BridgeOptions *options, QString *error)
{
    for (const Root &root : roots) {
        const QString name = QLatin1String(root.name);
        if (!parser.isSet(name))
            continue;
        const QUrl url(parser.value(name), QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty()
            || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
            *error = QStringLiteral("--%1 needs an http or https URL: %2")
                             .arg(name, parser.value(name));
            return false;
        }
        options->*root.url = url;
    }
    if (parser.isSet(QStringLiteral("musicbrainz-interval"))) {
        bool ok = false;
        const int interval = parser.value(QStringLiteral("musicbrainz-interval")).toInt(&ok);
        const QString host = options->musicBrainz.host().toLower();
        const bool publicServer = host == QLatin1String("musicbrainz.org")
                || host.endsWith(QLatin1String(".musicbrainz.org"));
        if (!ok || interval < 0 || interval > 60000) {
            *error = QStringLiteral("--musicbrainz-interval needs milliseconds from 0 to 60000: %1")
                             .arg(parser.value(QStringLiteral("musicbrainz-interval")));
            return false;
        }
        if (publicServer && interval < PublicMusicBrainzIntervalMs) {
            *error = QStringLiteral("--musicbrainz-interval below %1 is for a mirror of your own, "
                                    "not %2")
                             .arg(PublicMusicBrainzIntervalMs)
                             .arg(host);
            return false;
        }
        options->musicBrainzIntervalMs = interval;
    }
    if (parser.isSet(QStringLiteral("algorithm")))
        options->algorithm = parser.value(QStringLiteral("algorithm"));
    if (parser.isSet(QStringLiteral("contact")))
        options->contact = parser.value(QStringLiteral("contact"));
    if (parser.isSet(QStringLiteral("cache")))
        options->cacheFolder = parser.value(QStringLiteral("cache"));
    return true;
}
