#include "storeendpoint.h"

#include <QDebug>
#include <QHash>
#include <QStandardPaths>
#include <QUrl>

#include "inireader.h"
#include "regularfile.h"
#include "storeconstants.h"

namespace {

constexpr QLatin1String ProtocolKey("ServiceProviders/CorvexMusic/PAPI/protocol");
constexpr QLatin1String HostKey("ServiceProviders/CorvexMusic/PAPI/host");
constexpr QLatin1String TokenKey("ServiceProviders/CorvexMusic/PAPI/clientDeviceToken");
constexpr QLatin1String VersionKey("ServiceProviders/CorvexMusic/PAPI/version");
constexpr QLatin1String TerritoryKey("User/territory");

// The values of our keys that the file holds. The file is read once, without
// blocking, and only if it is a regular file of a sane size: the reading runs
// on the user-interface thread, where a named pipe swapped in would block it
// for ever. Our values are all text; none is ever decoded into an object.
QHash<QString, QString> readSettings(const QString &path)
{
    QByteArray bytes;
    switch (RegularFile::read(path, StoreEndpoint::MaxSettingsFileSize, &bytes,
                              RegularFile::Links::Follow)) {
    case RegularFile::Status::Read:
        break;
    case RegularFile::Status::NotRegular:
    case RegularFile::Status::TooLarge:
        qDebug() << "VelloraModel::loadSondrelSettings() - ignored settings file" << path;
        return {};
    default:
        return {};
    }
    QStringList objects;
    const QHash<QString, QString> values = IniReader::read(
            bytes, { ProtocolKey, HostKey, TokenKey, VersionKey, TerritoryKey }, &objects);
    for (const QString &key : std::as_const(objects))
        qDebug() << "VelloraModel::loadSondrelSettings() - ignored object value of" << key;
    return values;
}

// Values from the store's answers and the settings file go into request URLs
// as one path segment or one query value each: encoded, so that none of them
// can add a segment, a query or a fragment.
QString urlPart(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// A host name or address with an optional port, nothing more.
bool isPlainAuthority(const QString &authority)
{
    QUrl url;
    url.setScheme(QString::fromLatin1(StoreConstants::DefaultProtocol));
    url.setAuthority(authority, QUrl::StrictMode);
    return url.isValid() && url.userInfo().isEmpty() && !url.host().isEmpty() && url.port() != 0
            && !authority.endsWith(QLatin1Char(':'));
}

} // namespace

QString StoreEndpoint::settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/Corvex/Sondrel.conf");
}

StoreEndpoint StoreEndpoint::read(const QString &settingsPath)
{
    const QHash<QString, QString> settings = readSettings(settingsPath);
    const auto value = [&settings](QLatin1String key, const char *fallback) {
        return settings.value(QString(key), QString::fromLatin1(fallback));
    };
    QString protocol = value(ProtocolKey, StoreConstants::DefaultProtocol);
    QString host = value(HostKey, StoreConstants::DefaultHost);

    StoreEndpoint endpoint;
    endpoint.territory = value(TerritoryKey, StoreConstants::DefaultTerritory);
    endpoint.token = value(TokenKey, StoreConstants::DefaultToken);
    endpoint.version = value(VersionKey, StoreConstants::DefaultVersion);

    // A protocol other than these would let "x://evil/?" move the token elsewhere.
    if (protocol.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0
        && protocol.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0) {
        protocol = QString::fromLatin1(StoreConstants::DefaultProtocol);
    }
    if (host.trimmed().isEmpty()) {
        host = QString::fromLatin1(StoreConstants::DefaultHost);
    } else if (!isPlainAuthority(host)) {
        qDebug() << "VelloraModel::loadSondrelSettings() - refused host" << host;
        host = QString::fromLatin1(StoreConstants::DefaultHost);
    }
    if (endpoint.token.trimmed().isEmpty())
        endpoint.token = QString::fromLatin1(StoreConstants::DefaultToken);
    if (!isUsableSegment(endpoint.version))
        endpoint.version = QString::fromLatin1(StoreConstants::DefaultVersion);
    if (!isUsableSegment(endpoint.territory))
        endpoint.territory.clear();
    endpoint.baseUrl = protocol + QStringLiteral("://") + host;
    return endpoint;
}

// Encoding cannot keep "." and ".." from acting as dot segments (URLs are
// normalised on their way out), and Qt 6.4 sends any segment of a dot and
// one more character (".g") as an empty one. No store value starts with a
// dot, so such values are not used at all, nor are blank ones.
bool StoreEndpoint::isUsableSegment(const QString &value)
{
    return !value.trimmed().isEmpty() && !value.startsWith(QLatin1Char('.'));
}

QString StoreEndpoint::apiRoot() const
{
    return baseUrl + QLatin1Char('/') + urlPart(version);
}

QString StoreEndpoint::territoryUrl(const QString &mcc) const
{
    return apiRoot() + QStringLiteral("/?useip=true&storeconfig=false&format=xml&mcc=")
            + urlPart(mcc) + QStringLiteral("&token=") + urlPart(token);
}

QString StoreEndpoint::searchUrl(const QString &artist) const
{
    return apiRoot() + QLatin1Char('/') + urlPart(territory) + QStringLiteral("/artists/?q=")
            + urlPart(artist) + QStringLiteral("&token=") + urlPart(token);
}

QString StoreEndpoint::similarUrl(const QString &artistId, const QString &similarPath,
                                  int itemsPerPage) const
{
    return apiRoot() + QLatin1Char('/') + urlPart(territory) + QStringLiteral("/artists/")
            + urlPart(artistId) + QStringLiteral("/similar/") + similarPath
            + QStringLiteral("?itemsperpage=%1&token=").arg(itemsPerPage) + urlPart(token);
}

bool StoreEndpoint::operator==(const StoreEndpoint &other) const
{
    return baseUrl == other.baseUrl && version == other.version && territory == other.territory
            && token == other.token;
}
