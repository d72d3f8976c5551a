// Feeds arbitrary bytes as the store client's settings file through the
// reading and checking that the panel does, and requires every request it
// would then make to stay a store request: a web address of a plain host,
// and a path of the store's forms, as sent.

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "storeendpoint.h"

namespace {

QString settingsPath;

void require(bool holds, const char *what, const QString &url)
{
    if (holds)
        return;
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(url));
    std::abort();
}

void checkRequest(const QString &text, const QRegularExpression &form)
{
    const QUrl url(text, QUrl::StrictMode);
    require(url.isValid(), "not a valid URL", text);
    const QString scheme = url.scheme();
    require(scheme == QLatin1String("http") || scheme == QLatin1String("https"), "scheme", text);
    require(!url.host().isEmpty() && url.userInfo().isEmpty(), "host", text);
    require(url.fragment().isNull(), "fragment", text);
    // What goes out is the path as it was built: nothing is normalised away.
    const QString path = url.path(QUrl::FullyEncoded);
    require(url.adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyEncoded) == path,
            "dot segments", text);
    require(form.match(path).hasMatch(), "path outside the store's forms", text);
    require(url.query(QUrl::FullyEncoded).contains(QLatin1String("token=")), "token", text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    // The product's debug lines and Qt's warnings about odd input are
    // expected here by the thousand.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) { });
    static QTemporaryDir folder;
    settingsPath = folder.filePath(QStringLiteral("Sondrel.conf"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString segment = QStringLiteral("[^/?#]+");
    static const QRegularExpression territoryForm(QStringLiteral("^/%1/$").arg(segment));
    static const QRegularExpression searchForm(
            QStringLiteral("^/%1/%1/artists/$").arg(segment));
    static const QRegularExpression similarForm(
            QStringLiteral("^/%1/%1/artists/%1/similar/(?:tracks/|albums/)?$").arg(segment));

    QFile file(settingsPath);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    StoreEndpoint endpoint = StoreEndpoint::read(settingsPath);
    checkRequest(endpoint.territoryUrl(QStringLiteral("244")), territoryForm);
    // A blank territory is asked of the store; the panel goes on with its answer.
    if (endpoint.territory.isEmpty())
        endpoint.territory = QStringLiteral("gb");
    checkRequest(endpoint.searchUrl(QStringLiteral("AC/DC ?#..")), searchForm);
    for (const QString &path : { QStringLiteral("tracks/"), QStringLiteral("albums/"), QString() })
        checkRequest(endpoint.similarUrl(QStringLiteral("ar/1?#"), path, 4), similarForm);
    return 0;
}
