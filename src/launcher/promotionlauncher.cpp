#include "promotionlauncher.h"

#include "promotionlauncher_p.h"

PromotionLauncher *PromotionLauncher::m_instance = nullptr;

PromotionLauncher *PromotionLauncher::instance()
{
    if (!m_instance)
        m_instance = new PromotionLauncher;
    return m_instance;
}

PromotionLauncher::PromotionLauncher(QObject *parent)
    : QObject(parent),
      m_private(new PromotionLauncherPrivate(this))
{ }

PromotionLauncher::~PromotionLauncher()
{
    // A launcher made directly must not take the process-wide one with it.
    if (m_instance == this)
        m_instance = nullptr;
}

void PromotionLauncher::launchInMusicStoreClient(const QString &link)
{
    m_private->launchInMusicStoreClient(link);
}
