#include "pageopener.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QVariantMap>

#include "upstreamanswers.h"

PageOpener::PageOpener(const BridgeOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_desktopBus(QDBusConnection::sessionBus())
{
}

void PageOpener::setDesktopBus(const QDBusConnection &bus)
{
    m_desktopBus = bus;
}

QUrl PageOpener::pageFor(const QString &link) const
{
    const QStringList parts = link.split(QLatin1Char('/'));
    const QString mbid = parts.constLast();
    if (parts.size() < 3 || !UpstreamAnswers::isMbid(mbid))
        return {};
    QString kind;
    if (parts.constFirst() == QLatin1String("#Artist"))
        kind = QStringLiteral("artist");
    else if (parts.constFirst() == QLatin1String("#Product")
             && parts.at(1) == QLatin1String("SolvaneSonavoNowPlayingViewVellora"))
        kind = QStringLiteral("recording");
    else if (parts.constFirst() == QLatin1String("#Product"))
        kind = QStringLiteral("release-group");
    else
        return {};
    return m_options.page(kind, mbid);
}

void PageOpener::open(const QString &link)
{
    const QUrl page = pageFor(link);
    if (page.isEmpty())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenURI"));
    call << QString() << page.toString(QUrl::FullyEncoded) << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(
            m_desktopBus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, page] {
        watcher->deleteLater();
        if (!watcher->isError()) {
            emit pageOpened(page, true);
            return;
        }
        if (QProcess::startDetached(QStringLiteral("xdg-open"),
                                    { page.toString(QUrl::FullyEncoded) }))
            emit pageOpened(page, false);
    });
}
