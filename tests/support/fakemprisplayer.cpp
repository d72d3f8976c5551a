#include "fakemprisplayer.h"

#include <QDBusMessage>

#include "fakemprisroot.h"

namespace {

const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

} // namespace

FakeMprisPlayer::FakeMprisPlayer(const QString &name, QObject *parent)
    : QObject(parent),
      m_busName(QStringLiteral("org.mpris.MediaPlayer2.") + name),
      m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_busName)),
      m_status(QStringLiteral("Stopped"))
{
    new FakeMprisRoot(QStringLiteral("Fake ") + name, this);
}

FakeMprisPlayer::~FakeMprisPlayer()
{
    quit();
}

bool FakeMprisPlayer::start()
{
    m_onBus = m_bus.registerObject(objectPath, this,
                                   QDBusConnection::ExportAllProperties
                                           | QDBusConnection::ExportScriptableSlots
                                           | QDBusConnection::ExportAdaptors)
            && m_bus.registerService(m_busName);
    return m_onBus;
}

void FakeMprisPlayer::quit()
{
    if (!m_onBus)
        return;
    m_onBus = false;
    m_bus.unregisterService(m_busName);
    QDBusConnection::disconnectFromBus(m_busName);
}

void FakeMprisPlayer::play(const QVariantMap &metadata)
{
    m_status = QStringLiteral("Playing");
    m_metadata = metadata;
    announce({ { QStringLiteral("PlaybackStatus"), m_status },
               { QStringLiteral("Metadata"), m_metadata } });
}

void FakeMprisPlayer::playAnnouncingStatusOnly(const QVariantMap &metadata)
{
    m_status = QStringLiteral("Playing");
    m_metadata = metadata;
    announce({ { QStringLiteral("PlaybackStatus"), m_status } });
}

void FakeMprisPlayer::setMetadata(const QVariantMap &metadata)
{
    m_metadata = metadata;
    announce({ { QStringLiteral("Metadata"), m_metadata } });
}

void FakeMprisPlayer::allow(const QVariantMap &controls)
{
    m_controls = controls;
    announce(controls);
}

bool FakeMprisPlayer::canGoPrevious() const
{
    return m_controls.value(QStringLiteral("CanGoPrevious")).toBool();
}

bool FakeMprisPlayer::canPlay() const
{
    return m_controls.value(QStringLiteral("CanPlay")).toBool();
}

bool FakeMprisPlayer::canPause() const
{
    return m_controls.value(QStringLiteral("CanPause")).toBool();
}

bool FakeMprisPlayer::canGoNext() const
{
    return m_controls.value(QStringLiteral("CanGoNext")).toBool();
}

void FakeMprisPlayer::Previous()
{
    calls.append(QStringLiteral("Previous"));
}

void FakeMprisPlayer::PlayPause()
{
    calls.append(QStringLiteral("PlayPause"));
}

void FakeMprisPlayer::Next()
{
    calls.append(QStringLiteral("Next"));
}

QString FakeMprisPlayer::playbackStatus() const
{
    return m_status;
}

QVariantMap FakeMprisPlayer::metadata() const
{
    ++m_metadataReads;
    return m_metadata;
}

QVariantMap FakeMprisPlayer::track(const QString &artist, const QString &album,
                                   const QString &title, const QString &genre)
{
    return { { QStringLiteral("xesam:artist"), QStringList { artist } },
             { QStringLiteral("xesam:album"), album },
             { QStringLiteral("xesam:title"), title },
             { QStringLiteral("xesam:genre"), QStringList { genre } } };
}

void FakeMprisPlayer::announce(const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(
            objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    m_bus.send(signal);
}
