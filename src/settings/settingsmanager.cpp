#include "settingsmanager.h"

#include "svgconfitem.h"

namespace {
constexpr QLatin1String velloraPromotionKey("/apps/Multimedia/music/velloraprom");
}

SettingsManager *SettingsManager::instancePointer = nullptr;

SettingsManager *SettingsManager::instance()
{
    if (!instancePointer)
        instancePointer = new SettingsManager;
    return instancePointer;
}

SettingsManager::SettingsManager()
    : QObject(nullptr),
      m_gconfItem(new SvGConfItem(velloraPromotionKey))
{
    loadMGConfSettings();
    connect(m_gconfItem, &SvGConfItem::valueChanged, this, &SettingsManager::loadMGConfSettings);
}

SettingsManager::~SettingsManager()
{
    delete m_gconfItem;
    m_gconfItem = nullptr;
}

bool SettingsManager::velloraPromotion() const
{
    return m_enabled;
}

void SettingsManager::setVelloraPromotion(bool velloraPromotion)
{
    if (velloraPromotion == m_enabled)
        return;
    // The signal follows when the store reports the change.
    m_gconfItem->set(QVariant(velloraPromotion));
    m_enabled = velloraPromotion;
}

void SettingsManager::loadMGConfSettings()
{
    const QVariant value = m_gconfItem->value();
    m_enabled = value.isValid() ? value.toBool() : true;
    emit settingsModified(m_enabled);
}
