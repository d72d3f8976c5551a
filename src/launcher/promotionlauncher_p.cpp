#include "promotionlauncher_p.h"

#include <QDBusConnection>
#include <QDebug>

#include "sondrelopeninterface.h"

namespace {
constexpr QLatin1String StoreClientService("com.corvex.SondrelService");
constexpr QLatin1String StoreClientPath("/");
} // namespace

PromotionLauncherPrivate::PromotionLauncherPrivate(QObject *parent) : QObject(parent) { }

PromotionLauncherPrivate::~PromotionLauncherPrivate() = default;

void PromotionLauncherPrivate::launchInMusicStoreClient(const QString &link)
{
    qDebug() << "PromotionLauncherPrivate::launchInMusicStoreClient()" << link;

    if (!m_interface) {
        m_interface = std::make_unique<SondrelOpenInterface>(StoreClientService, StoreClientPath,
                                                             QDBusConnection::sessionBus());
    }

    // The store client shows the page itself; its answer carries nothing for us.
    m_interface->open(link);
}
