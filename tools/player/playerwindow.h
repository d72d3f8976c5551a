#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "playertrack.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class PanelProbe;
class MprisFollower;
class PluginHost;
class SvWidget;

// A small player: steps through a playlist in one of its views and shows
// the panel of that view following the track. It fits a phone: from 360
// logical pixels wide, with touch targets at least TouchHeight high.
class PlayerWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int TouchHeight = 48;

    PlayerWindow(PluginHost *host, const QList<PlayerTrack> &playlist, const QString &viewId,
                 QWidget *parent = nullptr);
    ~PlayerWindow() override;

    // Why the store gave the panel nothing for an artist in a view, for
    // example "store unreachable: Connection refused"; empty when it
    // answered and simply knows no match.
    using StoreCheck = std::function<QString(const QString &artist, const QString &viewId)>;
    void setStoreCheck(const StoreCheck &check);

    // Shows the track of the player the follower follows, or the playlist
    // while there is none, and drives that player by the window's controls
    // as far as the player allows.
    void follow(MprisFollower *follower);

    // A store link in words: the artist, album or track it names.
    static QString describeLink(const QString &link);

signals:
    // The window system showed the window for the first time, or later gave
    // it another size (said once the size has held for a moment): a shell
    // may show a window at its own size first and fit it to the screen after.
    void shownOnScreen();
    // While a player is followed, its controls were touched.
    void previousRequested();
    void playPauseRequested();
    void nextRequested();
    // The open-data switch was turned on or off.
    void openDataChosen(bool on);

public slots:
    // Shows and publishes the track that a followed player plays instead of
    // the playlist; an empty player: none is followed, and the playlist the
    // window was made with, if it holds tracks, is shown until one is.
    void showFollowedTrack(const QString &player, const PlayerTrack &track);
    // Offers the switch between the store emulator and open data, set as on.
    void offerOpenData(bool on);
    // Says that a choice of the switch holds from the next start on.
    void showOpenDataChosen(bool on, bool saved);
    // Which of the followed player's controls may be touched.
    void showPlayerControls(bool previous, bool playPause, bool next);
    // Says in the status line which link a touch sent to the store client.
    void showLinkSent(const QString &link);

private slots:
    void onPrevious();
    void onNext();
    void onViewChosen(int index);
    void onPanelGeometryChanged();
    void onSettlingCheck();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showPanel(const QString &viewId);
    // The panel at the view's width, up to the panel's full width.
    void fitPanel();
    void publishCurrent();
    void updateTrackLabel();

    PluginHost *m_host;
    QList<PlayerTrack> m_playlist;
    int m_current = 0;
    QString m_viewId;
    QPointer<SvWidget> m_panel;
    PanelProbe *m_probe = nullptr;
    QGraphicsScene *m_scene;
    QGraphicsView *m_view;
    QComboBox *m_viewChooser;
    QPushButton *m_previous;
    QPushButton *m_playPause;
    QPushButton *m_next;
    QCheckBox *m_openData;
    QLabel *m_openDataNote;
    QLabel *m_trackLabel;
    QLabel *m_statusLabel;
    QTimer m_settling;
    QTimer m_resized;
    QDeadlineTimer m_settlingDeadline;
    QString m_followedPlayer; // empty: the playlist is shown
    QList<PlayerTrack> m_demo; // shown while no player is followed
    bool m_follows = false; // a player is followed, or looked for
    bool m_shownOnScreen = false;
    StoreCheck m_storeCheck;
    quint64 m_published = 0; // tracks published so far
};
