#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

#include "bridgeoptions.h"

// Opens the public page of what a touched row names, in place of the store's
// own client: the deep link's last part is the item's MBID, its first says
// whether it is an artist, a recording (the now-playing view's rows) or a
// release group (the album view's). The page goes to the desktop's URL
// opener: the portal's OpenURI on the desktop's session bus, or xdg-open
// without one.
class PageOpener : public QObject
{
    Q_OBJECT

public:
    explicit PageOpener(const BridgeOptions &options, QObject *parent = nullptr);

    // An empty URL for a link that names no MBID.
    QUrl pageFor(const QString &link) const;
    void open(const QString &link);
    // The bus the portal is asked on; the session bus unless set.
    void setDesktopBus(const QDBusConnection &bus);

signals:
    // The page went to the portal (viaPortal) or to xdg-open.
    void pageOpened(const QUrl &page, bool viaPortal);

private:
    BridgeOptions m_options;
    QDBusConnection m_desktopBus;
};
