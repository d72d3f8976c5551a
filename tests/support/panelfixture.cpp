#include "panelfixture.h"

#include <QDir>
#include <QGraphicsLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <algorithm>

#include "cachefolder.h"
#include "dconftool.h"
#include "promotionnetworkapi.h"
#include "settingsmanager.h"
#include "storeclientsettings.h"
#include "storeconstants.h"
#include "svwidget.h"
#include "testfiles.h"
#include "viewnames.h"

namespace {

const QString SwitchKey = QStringLiteral("/apps/Multimedia/music/velloraprom");

} // namespace

PanelFixture::PanelFixture() = default;

PanelFixture::~PanelFixture()
{
    BearerBackend::install(nullptr);
}

bool PanelFixture::start()
{
    if (!m_storeClient.start() || !m_storeClient.registerService())
        return false;

    m_bearer.setOnline(true);
    m_bearer.setSessionRequired(false);
    BearerBackend::install(&m_bearer);
    if (!m_store.start())
        return false;

    return StoreClientSettings::write(m_store.port());
}

void PanelFixture::reset()
{
    m_bearer.setOnline(true);
    m_store.setToken(QString::fromLatin1(StoreConstants::DefaultToken));
    m_store.clearFaults();
    m_store.clearRequestLog();
    m_storeClient.clear();
    // Cached answers and pictures would hide requests from the store's log.
    CacheFolder::empty(QStringLiteral("queries"));
    CacheFolder::empty(QStringLiteral("images"));
}

bool PanelFixture::setFeatureSwitch(bool enabled)
{
    SettingsManager *settings = SettingsManager::instance();
    QSignalSpy modifiedSpy(settings, &SettingsManager::settingsModified);
    if (!DconfTool::write(SwitchKey, enabled ? QStringLiteral("true") : QStringLiteral("false")))
        return false;
    return modifiedSpy.wait(10000) && modifiedSpy.last().at(0).toBool() == enabled
            && settings->velloraPromotion() == enabled;
}

int PanelFixture::searchRequestCount(const QString &artist) const
{
    const QString query = QStringLiteral("q=")
            + QString::fromLatin1(QUrl::toPercentEncoding(artist)) + QLatin1Char('&');
    const QList<StoreRequest> log = m_store.requestLog();
    return int(std::count_if(log.cbegin(), log.cend(), [&query](const StoreRequest &request) {
        return request.kind == StoreRequest::Kind::ArtistSearch && request.query.startsWith(query);
    }));
}

bool PanelFixture::drainNetworkQueue()
{
    PromotionNetworkAPI *network = PromotionNetworkAPI::instance();
    QSignalSpy downloadedSpy(network, &PromotionNetworkAPI::xmlDownloaded);
    const QString url = m_store.baseUrl()
            + QStringLiteral("/1.0/gb/artists/?q=probe%1&token=").arg(++m_probe)
            + QString::fromLatin1(StoreConstants::DefaultToken);
    const int id = network->fetchXml(url, 0);
    const bool answered = QTest::qWaitFor(
            [&] {
                for (const QList<QVariant> &arguments : std::as_const(downloadedSpy)) {
                    if (arguments.at(0).toInt() == id)
                        return true;
                }
                return false;
            },
            10000);
    network->getXmlData(id);
    return answered;
}

void PanelFixture::layOut(SvWidget *view)
{
    view->resize(view->effectiveSizeHint(Qt::PreferredSize)
                         .expandedTo(QSizeF(480, 0))
                         .boundedTo(view->maximumSize()));
    if (view->layout())
        view->layout()->activate();
}

QString PanelFixture::writeOneAlbumCatalog(int tracks)
{
    QJsonArray trackList;
    for (int track = 0; track < tracks; ++track)
        trackList.append(QJsonObject { { "id", QStringLiteral("sp%1").arg(track) },
                                       { "title", QStringLiteral("Shared %1").arg(track) },
                                       { "duration", 200 } });
    const QJsonObject album { { "id", "spal" },
                              { "title", "One Album" },
                              { "tracks", trackList },
                              { "picture", QJsonObject { { "format", "jpeg" } } } };
    const QJsonArray artists { QJsonObject { { "id", "spseed" },
                                             { "name", "Shared Seed" },
                                             { "albums", QJsonArray() },
                                             { "similar", QJsonArray { "spar" } } },
                               QJsonObject { { "id", "spar" },
                                             { "name", "Shared Artist" },
                                             { "albums", QJsonArray { album } },
                                             { "similar", QJsonArray() } } };
    const QString path = QDir::home().filePath(QStringLiteral("one-album-%1.json").arg(tracks));
    return TestFiles::write(path, QJsonDocument(QJsonObject { { "artists", artists } }).toJson())
            ? path
            : QString();
}
