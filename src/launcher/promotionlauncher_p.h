#pragma once

#include <QObject>
#include <QString>

#include <memory>

class SondrelOpenInterface;

class PromotionLauncherPrivate : public QObject
{
    Q_OBJECT

public:
    explicit PromotionLauncherPrivate(QObject *parent = nullptr);
    ~PromotionLauncherPrivate() override;

    void launchInMusicStoreClient(const QString &link);

    // Made on the first launch and kept, so later launches cost no bus round trip.
    std::unique_ptr<SondrelOpenInterface> m_interface;
};
