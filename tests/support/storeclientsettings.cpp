#include "storeclientsettings.h"

#include <QSettings>

QString StoreClientSettings::fileName()
{
    return QSettings(QStringLiteral("Corvex"), QStringLiteral("Sondrel")).fileName();
}

bool StoreClientSettings::write(quint16 port, const QString &token, const QVariant &territory)
{
    QSettings settings(QStringLiteral("Corvex"), QStringLiteral("Sondrel"));
    settings.clear();
    if (territory.isValid())
        settings.setValue(QStringLiteral("User/territory"), territory);
    settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/host"),
                      QStringLiteral("127.0.0.1:%1").arg(port));
    if (!token.isNull())
        settings.setValue(QStringLiteral("ServiceProviders/CorvexMusic/PAPI/clientDeviceToken"),
                          token);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
