#include "mprisfollower.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

constexpr QLatin1String objectPath("/org/mpris/MediaPlayer2");
constexpr QLatin1String playerInterface("org.mpris.MediaPlayer2.Player");
constexpr QLatin1String propertiesInterface("org.freedesktop.DBus.Properties");
constexpr QLatin1String playing("Playing");

// No real artist, album, title or genre comes near these; a player that
// publishes more is broken or hostile, and what it sends is not passed on.
const qsizetype MaxTextLength = 1024;
const qsizetype MaxTexts = 16;

QString firstText(const QVariant &value)
{
    QStringList texts;
    if (value.metaType() == QMetaType::fromType<QString>())
        texts.append(value.toString());
    else if (value.metaType() == QMetaType::fromType<QStringList>())
        texts = value.toStringList().mid(0, MaxTexts);
    for (const QString &text : std::as_const(texts)) {
        if (text.size() <= MaxTextLength && !text.trimmed().isEmpty())
            return text.trimmed();
    }
    return QString();
}

// A map as it arrives inside a variant: still marshalled, or already read.
QVariantMap toMap(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}"))
            return qdbus_cast<QVariantMap>(argument);
        return QVariantMap();
    }
    return value.toMap();
}

} // namespace

const char MprisFollower::busNamePrefix[] = "org.mpris.MediaPlayer2.";

MprisFollower::MprisFollower(const QString &name, QObject *parent)
    : QObject(parent),
      m_wanted(name.isEmpty() || name.startsWith(QLatin1String(busNamePrefix))
                       ? name
                       : QLatin1String(busNamePrefix) + name)
{ }

bool MprisFollower::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                SLOT(onNameOwnerChanged(QString, QString, QString)));
    bus.connect(QString(), objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                this, SLOT(onPropertiesChanged(QDBusMessage)));
    const QStringList names = bus.interface()->registeredServiceNames().value();
    for (const QString &name : names) {
        if (name.startsWith(QLatin1String(busNamePrefix)))
            addPlayer(name, bus.interface()->serviceOwner(name).value());
    }
    return true;
}

QString MprisFollower::player() const
{
    return m_shownPlayer;
}

PlayerTrack MprisFollower::track() const
{
    return m_shownTrack;
}

PlayerTrack MprisFollower::trackFromMetadata(const QVariantMap &metadata)
{
    const QString artist = firstText(metadata.value(QStringLiteral("xesam:artist")));
    if (artist.isEmpty())
        return PlayerTrack();
    return { artist, firstText(metadata.value(QStringLiteral("xesam:album"))),
             firstText(metadata.value(QStringLiteral("xesam:title"))),
             firstText(metadata.value(QStringLiteral("xesam:genre"))) };
}

void MprisFollower::addPlayer(const QString &name, const QString &owner)
{
    m_players.insert(name, Player { owner, QString(), PlayerTrack() });
    QDBusMessage getAll = QDBusMessage::createMethodCall(name, objectPath, propertiesInterface,
                                                         QStringLiteral("GetAll"));
    getAll << playerInterface;
    auto *call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(getAll), this);
    call->setProperty("player", name);
    connect(call, &QDBusPendingCallWatcher::finished, this, &MprisFollower::onPropertiesRead);
}

void MprisFollower::onPropertiesRead(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QVariantMap> reply = *call;
    if (!reply.isError())
        applyProperties(call->property("player").toString(), reply.value());
}

void MprisFollower::onNameOwnerChanged(const QString &name, const QString &oldOwner,
                                       const QString &newOwner)
{
    if (!name.startsWith(QLatin1String(busNamePrefix)))
        return;
    if (!oldOwner.isEmpty()) {
        m_players.remove(name);
        if (name == m_followed)
            m_followed.clear();
    }
    if (!newOwner.isEmpty())
        addPlayer(name, newOwner);
    choosePlayer();
}

void MprisFollower::onPropertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.constFirst().toString() != playerInterface)
        return;
    const QVariantMap changed = toMap(arguments.at(1));
    // The signal comes from the player's connection, which may own several names.
    const QStringList names = m_players.keys();
    for (const QString &name : names) {
        if (m_players.value(name).owner == message.service())
            applyProperties(name, changed);
    }
}

void MprisFollower::applyProperties(const QString &name, const QVariantMap &properties)
{
    const auto player = m_players.find(name);
    if (player == m_players.end())
        return;
    const auto status = properties.constFind(QStringLiteral("PlaybackStatus"));
    if (status != properties.constEnd()) {
        player->status = status->toString();
        if (player->status == playing && m_wanted.isEmpty())
            m_followed = name;
    }
    const auto metadata = properties.constFind(QStringLiteral("Metadata"));
    if (metadata != properties.constEnd())
        player->track = trackFromMetadata(toMap(*metadata));
    choosePlayer();
}

void MprisFollower::choosePlayer()
{
    if (!m_wanted.isEmpty()) {
        m_followed = m_players.contains(m_wanted) ? m_wanted : QString();
    } else if (m_followed.isEmpty()) {
        for (auto player = m_players.cbegin(); player != m_players.cend(); ++player) {
            if (player->status == playing) {
                m_followed = player.key();
                break;
            }
        }
    }
    const PlayerTrack track = m_players.value(m_followed).track;
    if (m_followed == m_shownPlayer && track == m_shownTrack)
        return;
    m_shownPlayer = m_followed;
    m_shownTrack = track;
    emit followedChanged();
}
