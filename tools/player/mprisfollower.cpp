#include "mprisfollower.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>

namespace {

constexpr QLatin1String objectPath("/org/mpris/MediaPlayer2");
constexpr QLatin1String rootInterface("org.mpris.MediaPlayer2");
constexpr QLatin1String playerInterface("org.mpris.MediaPlayer2.Player");
constexpr QLatin1String propertiesInterface("org.freedesktop.DBus.Properties");
constexpr QLatin1String playing("Playing");
constexpr QLatin1String busService("org.freedesktop.DBus");
constexpr QLatin1String busPath("/org/freedesktop/DBus");
// How often the connection is checked, and how long the bus may take to answer.
const int HealthInterval = 2000;
const int HealthTimeout = 2000;
// How long the bus's daemon may take to say anything at all.
const int ProbeTimeout = 500;
// Some players send a new track's title alone and its other tags a moment
// later (mpv about 100 ms): a track without an artist waits this long
// before it counts.
const int TagSettleMs = 400;

} // namespace

const char MprisFollower::busNamePrefix[] = "org.mpris.MediaPlayer2.";

MprisFollower::MprisFollower(const QString &name, QObject *parent)
    : QObject(parent),
      m_wanted(name.isEmpty() || name.startsWith(QLatin1String(busNamePrefix))
                       ? name
                       : QLatin1String(busNamePrefix) + name)
{
    m_healthTimer.setSingleShot(true);
    m_healthTimer.setInterval(HealthInterval);
    connect(&m_healthTimer, &QTimer::timeout, this, &MprisFollower::checkHealth);
    connect(&m_probe, &BusProbe::answered, this, &MprisFollower::onProbeAnswered);
    m_tagSettle.setSingleShot(true);
    m_tagSettle.setInterval(TagSettleMs);
    connect(&m_tagSettle, &QTimer::timeout, this, [this] {
        m_acceptsNoTrack = true;
        choosePlayer();
        m_acceptsNoTrack = false;
    });
}

MprisFollower::~MprisFollower()
{
    if (!m_connectionName.isEmpty())
        dropConnection();
}

bool MprisFollower::start()
{
    if (!m_probe.answers(ProbeTimeout) || !connectToBus())
        return false;
    readPlayers();
    m_healthTimer.start();
    return true;
}

QDBusConnection MprisFollower::bus() const
{
    return QDBusConnection(m_connectionName);
}

bool MprisFollower::connectToBus()
{
    static int connections = 0;
    m_connectionName = QStringLiteral("vellora-follower-%1").arg(++connections);
    QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    if (!bus.isConnected() || !bus.interface())
        return false;
    bus.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                SLOT(onNameOwnerChanged(QString, QString, QString)));
    bus.connect(QString(), objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                this, SLOT(onPropertiesChanged(QDBusMessage)));
    return true;
}

void MprisFollower::dropConnection()
{
    // The connection lets go of this receiver before it goes itself: the bus
    // thread, delivering to a connection on its way out that still listed a
    // receiver being destroyed, crashed the player now and then as it closed.
    QDBusConnection connection = bus();
    connection.disconnect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                          SLOT(onNameOwnerChanged(QString, QString, QString)));
    connection.disconnect(QString(), objectPath, propertiesInterface,
                          QStringLiteral("PropertiesChanged"), this,
                          SLOT(onPropertiesChanged(QDBusMessage)));
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void MprisFollower::readPlayers()
{
    const QDBusMessage listNames = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                                  QStringLiteral("ListNames"));
    auto *call = new QDBusPendingCallWatcher(bus().asyncCall(listNames, HealthTimeout), this);
    call->setProperty("connection", m_connectionName);
    call->setProperty("ownerChanges", m_ownerChanges);
    connect(call, &QDBusPendingCallWatcher::finished, this, &MprisFollower::onNamesListed);
}

void MprisFollower::onNamesListed(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    // A bus that did not answer is the health check's to find.
    if (reply.isError() || call->property("connection").toString() != m_connectionName)
        return;
    const QStringList names = reply.value();
    // A player that came while the answer was on its way is not in it.
    const quint64 askedAt = call->property("ownerChanges").toULongLong();
    m_players.removeIf([&names, askedAt](const auto &player) {
        return player.value().cameAt <= askedAt && !names.contains(player.key());
    });
    if (!m_players.contains(m_followed))
        m_followed.clear();
    for (const QString &name : names) {
        if (!name.startsWith(QLatin1String(busNamePrefix)))
            continue;
        QDBusMessage getOwner = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                               QStringLiteral("GetNameOwner"));
        getOwner << name;
        auto *ownerCall =
                new QDBusPendingCallWatcher(bus().asyncCall(getOwner, HealthTimeout), this);
        connect(ownerCall, &QDBusPendingCallWatcher::finished, this, [this, name, ownerCall] {
            ownerCall->deleteLater();
            const QDBusPendingReply<QString> owner = *ownerCall;
            if (!owner.isError())
                addPlayer(name, owner.value());
        });
    }
    choosePlayer();
}

void MprisFollower::checkHealth()
{
    const QDBusMessage getId =
            QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetId"));
    auto *call = new QDBusPendingCallWatcher(bus().asyncCall(getId, HealthTimeout), this);
    call->setProperty("connection", m_connectionName);
    connect(call, &QDBusPendingCallWatcher::finished, this, &MprisFollower::onHealthChecked);
}

void MprisFollower::onHealthChecked(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    if (call->property("connection").toString() != m_connectionName)
        return;
    if (call->isError())
        m_probe.ask(ProbeTimeout);
    else
        m_healthTimer.start();
}

void MprisFollower::onProbeAnswered(bool answering)
{
    // The connection is deaf when the daemon answers; when the daemon itself
    // stands still, a new connection would wait with it.
    if (answering)
        reconnect();
    m_healthTimer.start();
}

void MprisFollower::reconnect()
{
    // Whatever the deaf connection still holds goes with it.
    dropConnection();
    if (connectToBus())
        readPlayers();
}

QString MprisFollower::player() const
{
    return m_shownPlayer;
}

QString MprisFollower::playerName() const
{
    const QString identity = m_players.value(m_shownPlayer).identity;
    return identity.isEmpty() ? m_shownPlayer : identity;
}

MprisFollower::Controls MprisFollower::controls() const
{
    return m_shownControls;
}

void MprisFollower::previous()
{
    callFollowed(QStringLiteral("Previous"));
}

void MprisFollower::playPause()
{
    callFollowed(QStringLiteral("PlayPause"));
}

void MprisFollower::next()
{
    callFollowed(QStringLiteral("Next"));
}

void MprisFollower::callFollowed(const QString &method)
{
    if (m_shownPlayer.isEmpty())
        return;
    // Sent, not waited for: a player that does not answer costs nothing.
    QDBusMessage call =
            QDBusMessage::createMethodCall(m_shownPlayer, objectPath, playerInterface, method);
    call.setAutoStartService(false);
    bus().send(call);
}

PlayerTrack MprisFollower::track() const
{
    return m_shownTrack;
}

void MprisFollower::addPlayer(const QString &name, const QString &owner)
{
    const auto owned =
            std::count_if(m_players.cbegin(), m_players.cend(),
                          [&owner](const Player &player) { return player.owner == owner; });
    if (!m_players.contains(name) && owned >= MaxNamesPerPeer)
        return;
    // A player known before a reconnection keeps its state until it answers.
    Player &player = m_players[name];
    if (player.owner != owner) {
        player = Player();
        player.owner = owner;
        player.cameAt = m_ownerChanges;
    }
    // Asked first, so that its answer comes before the track's.
    QDBusMessage getIdentity = QDBusMessage::createMethodCall(
            name, objectPath, propertiesInterface, QStringLiteral("Get"));
    getIdentity << rootInterface << QStringLiteral("Identity");
    auto *call = new QDBusPendingCallWatcher(bus().asyncCall(getIdentity), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, name, call] {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        const auto player = m_players.find(name);
        if (!reply.isError() && player != m_players.end())
            player->identity = MprisChange::firstText(reply.value().variant());
    });
    readProperties(name);
}

void MprisFollower::readProperties(const QString &name)
{
    m_players[name].reading = true;
    QDBusMessage getAll = QDBusMessage::createMethodCall(name, objectPath, propertiesInterface,
                                                         QStringLiteral("GetAll"));
    getAll << playerInterface;
    auto *call = new QDBusPendingCallWatcher(bus().asyncCall(getAll), this);
    call->setProperty("player", name);
    connect(call, &QDBusPendingCallWatcher::finished, this, &MprisFollower::onPropertiesRead);
}

void MprisFollower::onPropertiesRead(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QString name = call->property("player").toString();
    const auto player = m_players.find(name);
    if (player == m_players.end())
        return;
    player->reading = false;
    const QDBusPendingReply<QVariantMap> reply = *call;
    applyChange(name, MprisChange::of(reply.isError() ? QVariant() : QVariant(reply.value())));
}

void MprisFollower::onNameOwnerChanged(const QString &name, const QString &oldOwner,
                                       const QString &newOwner)
{
    if (!name.startsWith(QLatin1String(busNamePrefix)))
        return;
    ++m_ownerChanges;
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
    const MprisChange change = MprisChange::of(arguments.at(1));
    // The signal comes from the player's connection, which may own several names.
    const QStringList names = m_players.keys();
    for (const QString &name : names) {
        if (m_players.value(name).owner == message.service())
            applyChange(name, change);
    }
}

void MprisFollower::applyChange(const QString &name, const MprisChange &change)
{
    const auto player = m_players.find(name);
    if (player == m_players.end())
        return;
    if (change.status) {
        player->status = *change.status;
        if (player->status == playing && m_wanted.isEmpty())
            m_followed = name;
        // Players announce that they play before what they play: the track
        // is read with the player, so that the panel is not handed an
        // empty one in between.
        if (player->status == playing && !change.track && player->track == PlayerTrack()
            && !player->reading) {
            readProperties(name);
        }
    }
    if (change.track)
        player->track = *change.track;
    player->canGoPrevious = change.canGoPrevious.value_or(player->canGoPrevious);
    player->canPlay = change.canPlay.value_or(player->canPlay);
    player->canPause = change.canPause.value_or(player->canPause);
    player->canGoNext = change.canGoNext.value_or(player->canGoNext);
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
    // A player whose state is being read is shown once it is known.
    if (m_players.value(m_followed).reading)
        return;
    const Player followed = m_players.value(m_followed);
    const bool settling = m_followed == m_shownPlayer && m_players.contains(m_followed)
            && followed.track == PlayerTrack() && !(m_shownTrack == PlayerTrack())
            && !m_acceptsNoTrack;
    if (settling && !m_tagSettle.isActive())
        m_tagSettle.start();
    else if (!settling)
        m_tagSettle.stop();
    const Controls controls { followed.canGoPrevious, followed.canPlay || followed.canPause,
                              followed.canGoNext };
    const bool controlsMoved = !(controls == m_shownControls);
    m_shownControls = controls;
    if (!settling && (m_followed != m_shownPlayer || !(followed.track == m_shownTrack))) {
        m_shownPlayer = m_followed;
        m_shownTrack = followed.track;
        emit followedChanged();
    }
    if (controlsMoved)
        emit controlsChanged();
}
