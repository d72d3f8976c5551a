#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

#include "busprobe.h"
#include "mprischange.h"
#include "playertrack.h"

class QDBusMessage;
class QDBusPendingCallWatcher;

// Follows the current track of a music player that publishes it on the
// session bus through MPRIS 2 (org.mpris.MediaPlayer2.*): the player named,
// or else the first one that plays, moving to another one when that one
// starts playing. A player that leaves the bus, or metadata without an
// artist, gives an empty track.
//
// It keeps a bus connection of its own. A player that floods the bus with
// large signals can leave a connection deaf for good (Qt 6.4 then fails to
// turn its reading back on), so the connection is checked every few seconds
// and, when the bus does not answer while its daemon does, replaced and the
// players read afresh. Nothing waits on the bus: a daemon that stands still
// leaves the thread free, and the follower carries on when it moves again.
class MprisFollower : public QObject
{
    Q_OBJECT

public:
    static const char busNamePrefix[];
    // One peer on the bus may own any number of player names: a few are
    // followed, the rest never looked at.
    static constexpr int MaxNamesPerPeer = 8;

    // name: the part after the prefix (or the whole bus name); empty: any.
    explicit MprisFollower(const QString &name = QString(), QObject *parent = nullptr);
    ~MprisFollower() override;

    // False without a session bus, or one whose daemon does not answer.
    bool start();

    // The bus name followed, empty while no player is followed.
    QString player() const;
    // What the followed player calls itself (its Identity), else its bus name.
    QString playerName() const;
    PlayerTrack track() const;

    // What the followed player lets the window do, as its CanGoPrevious,
    // CanPlay or CanPause and CanGoNext say; nothing while none is followed.
    struct Controls
    {
        bool previous = false;
        bool playPause = false;
        bool next = false;
        bool operator==(const Controls &other) const
        {
            return previous == other.previous && playPause == other.playPause
                    && next == other.next;
        }
    };
    Controls controls() const;
    // Asks the followed player; nothing waits for its answer.
    void previous();
    void playPause();
    void next();

signals:
    // The player followed or its track changed.
    void followedChanged();
    void controlsChanged();

private slots:
    void onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void onPropertiesChanged(const QDBusMessage &message);
    void onPropertiesRead(QDBusPendingCallWatcher *call);
    void onHealthChecked(QDBusPendingCallWatcher *call);
    void onProbeAnswered(bool answering);
    void onNamesListed(QDBusPendingCallWatcher *call);
    void checkHealth();

private:
    struct Player
    {
        QString owner;
        QString status;
        PlayerTrack track;
        bool reading = false; // its properties are asked for
        QString identity;
        bool canGoPrevious = false;
        bool canPlay = false;
        bool canPause = false;
        bool canGoNext = false;
        // The count of owner changes when it came: a list of names asked
        // for before then cannot know it.
        quint64 cameAt = 0;
    };

    QDBusConnection bus() const;
    // Opens a connection under a new name and listens on it.
    bool connectToBus();
    // Closes the connection, with what it listens for.
    void dropConnection();
    // Asks for the players on the bus now; what is known of those still
    // there is kept, and each is asked for its state.
    void readPlayers();
    void reconnect();
    void addPlayer(const QString &name, const QString &owner);
    void readProperties(const QString &name);
    // A change is read once for all the names of the peer that sent it.
    void applyChange(const QString &name, const MprisChange &change);
    void choosePlayer();
    void callFollowed(const QString &method);

    QString m_connectionName;
    QTimer m_healthTimer;
    BusProbe m_probe;
    QString m_wanted;
    QMap<QString, Player> m_players; // by bus name
    quint64 m_ownerChanges = 0;
    QString m_followed;
    PlayerTrack m_shownTrack;
    QString m_shownPlayer;
    Controls m_shownControls;
    QTimer m_tagSettle;
    bool m_acceptsNoTrack = false;
};
