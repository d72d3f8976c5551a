#include "fakemprisroot.h"

FakeMprisRoot::FakeMprisRoot(const QString &identity, QObject *player)
    : QDBusAbstractAdaptor(player),
      m_identity(identity)
{ }

QString FakeMprisRoot::identity() const
{
    return m_identity;
}
