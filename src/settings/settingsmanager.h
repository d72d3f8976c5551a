#pragma once

#include <QObject>

class SvGConfItem;

// The process-wide on/off switch of the similar-items panel, kept in the
// configuration store; unset means on.
class SettingsManager : public QObject
{
    Q_OBJECT

public:
    static SettingsManager *instance();

    ~SettingsManager() override;

    bool velloraPromotion() const;

signals:
    void settingsModified(bool enabled);

public slots:
    void setVelloraPromotion(bool velloraPromotion);

private slots:
    void loadMGConfSettings();

private:
    SettingsManager();

    bool m_enabled = true;
    SvGConfItem *m_gconfItem = nullptr;

    static SettingsManager *instancePointer;
};
