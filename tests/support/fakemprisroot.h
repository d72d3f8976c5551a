#pragma once

#include <QDBusAbstractAdaptor>

// The root interface of the test's MPRIS player: what it calls itself.
class FakeMprisRoot : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)

public:
    FakeMprisRoot(const QString &identity, QObject *player);

    QString identity() const;

private:
    QString m_identity;
};
