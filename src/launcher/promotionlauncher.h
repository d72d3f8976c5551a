#pragma once

#include <QObject>
#include <QString>

class PromotionLauncherPrivate;

// Opens pages of the store's own client application. One per process.
class PromotionLauncher : public QObject
{
    Q_OBJECT

public:
    static PromotionLauncher *instance();

    explicit PromotionLauncher(QObject *parent = nullptr);
    ~PromotionLauncher() override;

    void launchInMusicStoreClient(const QString &link);

private:
    static PromotionLauncher *m_instance;

    PromotionLauncherPrivate *m_private;
};
