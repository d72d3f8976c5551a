#pragma once

#include <QObject>
#include <QString>

// Takes the store client's place on the session bus when it is not
// running, so that the links the panel sends can be seen.
class StoreClientStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.corvex.SondrelService.OpenInterface")

public:
    static const char serviceName[];

    explicit StoreClientStandIn(QObject *parent = nullptr);
    ~StoreClientStandIn() override;

    // False when the name is taken (the real client runs) or there is no bus.
    bool registerOnSessionBus();
    bool isRegistered() const;

public slots:
    Q_SCRIPTABLE void open(const QString &link);

signals:
    void linkOpened(const QString &link);

private:
    bool m_registered = false;
};
