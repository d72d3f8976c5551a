#include "playerwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWindow>

#include "mprisfollower.h"
#include "panelprobe.h"
#include "pluginhost.h"
#include "svtheme.h"
#include "svwidget.h"

namespace {

const int settlingCheckMs = 100;
const int settlingLimitMs = 60000;

QString viewLabel(const QString &viewId)
{
    const QString name = PluginHost::viewName(viewId);
    return name.left(1).toUpper() + name.mid(1);
}

} // namespace

PlayerWindow::PlayerWindow(PluginHost *host, const QList<PlayerTrack> &playlist,
                           const QString &viewId, QWidget *parent)
    : QWidget(parent),
      m_host(host),
      m_playlist(playlist),
      m_scene(new QGraphicsScene(this)),
      m_view(new QGraphicsView(m_scene, this)),
      m_viewChooser(new QComboBox(this)),
      m_previous(new QPushButton(QStringLiteral("Previous"), this)),
      m_playPause(new QPushButton(QStringLiteral("Play/Pause"), this)),
      m_next(new QPushButton(QStringLiteral("Next"), this)),
      m_openData(new QCheckBox(QStringLiteral("Real recommendations from open data"), this)),
      m_openDataNote(new QLabel(
              QStringLiteral("Sends the name of each artist you play to MusicBrainz, and its id "
                             "to ListenBrainz and the Cover Art Archive."),
              this)),
      m_trackLabel(new QLabel(this)),
      m_statusLabel(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Vellora Companion"));
    for (const PlayerTrack &track : playlist) {
        if (!track.artist.isEmpty())
            m_demo.append(track);
    }
    m_view->setBackgroundBrush(SvTheme::ground());
    m_view->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // The panel takes the view's width, so only its height may need scrolling.
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->viewport()->installEventFilter(this);
    m_trackLabel->setWordWrap(true);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_settling.setInterval(settlingCheckMs);
    connect(&m_settling, &QTimer::timeout, this, &PlayerWindow::onSettlingCheck);
    m_resized.setSingleShot(true);
    m_resized.setInterval(200);
    connect(&m_resized, &QTimer::timeout, this, &PlayerWindow::shownOnScreen);

    m_previous->setEnabled(m_playlist.size() > 1);
    m_next->setEnabled(m_playlist.size() > 1);
    // Only a followed player plays and pauses.
    m_playPause->hide();
    for (QWidget *control :
         std::initializer_list<QWidget *> { m_previous, m_playPause, m_next, m_viewChooser })
        control->setMinimumHeight(TouchHeight);
    const QStringList ids = PluginHost::viewIds();
    for (const QString &id : ids) {
        if (m_host->view(id))
            m_viewChooser->addItem(viewLabel(id), id);
    }

    // The view on top, the player's controls at the bottom, within a thumb's
    // reach on a phone, sharing its width.
    auto *controls = new QHBoxLayout;
    for (QPushButton *button : { m_previous, m_playPause, m_next }) {
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        controls->addWidget(button);
    }
    m_openData->setMinimumHeight(TouchHeight);
    m_openDataNote->setWordWrap(true);
    m_openData->hide();
    m_openDataNote->hide();
    connect(m_openData, &QCheckBox::toggled, this, &PlayerWindow::openDataChosen);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_viewChooser);
    layout->addWidget(m_openData);
    layout->addWidget(m_openDataNote);
    layout->addWidget(m_trackLabel);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_statusLabel);
    layout->addLayout(controls);

    connect(m_previous, &QPushButton::clicked, this, &PlayerWindow::onPrevious);
    connect(m_playPause, &QPushButton::clicked, this, &PlayerWindow::playPauseRequested);
    connect(m_next, &QPushButton::clicked, this, &PlayerWindow::onNext);
    connect(m_viewChooser, &QComboBox::currentIndexChanged, this, &PlayerWindow::onViewChosen);

    // Ctrl+Q as everywhere; the keyboard starts on the first control.
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
    m_viewChooser->setFocus();

    // A panel's width and a little more; a shell may make it what its screen is.
    resize(PanelProbe::MaximumWidth + 2 * layout->contentsMargins().left(), 720);

    const int chosen = m_viewChooser->findData(viewId);
    if (chosen > 0)
        m_viewChooser->setCurrentIndex(chosen);
    else
        onViewChosen(m_viewChooser->currentIndex());
}

PlayerWindow::~PlayerWindow()
{
    // The panel belongs to the extension, not to the scene.
    if (m_panel)
        m_scene->removeItem(m_panel);
}

void PlayerWindow::onPrevious()
{
    if (!m_followedPlayer.isEmpty()) {
        emit previousRequested();
        return;
    }
    if (m_playlist.isEmpty())
        return;
    m_current = (m_current + int(m_playlist.size()) - 1) % int(m_playlist.size());
    publishCurrent();
}

void PlayerWindow::onNext()
{
    if (!m_followedPlayer.isEmpty()) {
        emit nextRequested();
        return;
    }
    if (m_playlist.isEmpty())
        return;
    m_current = (m_current + 1) % int(m_playlist.size());
    publishCurrent();
}

void PlayerWindow::onViewChosen(int index)
{
    if (index < 0)
        return;
    showPanel(m_viewChooser->itemData(index).toString());
    publishCurrent();
}

void PlayerWindow::onPanelGeometryChanged()
{
    m_scene->setSceneRect(m_panel->geometry());
}

// The panel shows its no-matches text for a few seconds only and then
// nothing; the status line keeps saying it until the track changes.
void PlayerWindow::onSettlingCheck()
{
    if (!m_probe || m_settlingDeadline.hasExpired()) {
        m_settling.stop();
        return;
    }
    const PanelProbe::State state = m_probe->state();
    if (state == PanelProbe::State::Pending)
        return;
    m_settling.stop();
    if (state != PanelProbe::State::NoMatches)
        return;
    // The panel says the same for a store that cannot be reached or fails.
    const quint64 published = m_published;
    const QString problem = m_storeCheck
            ? m_storeCheck(m_playlist.value(m_current).artist, m_viewId)
            : QString();
    // The check lets events in: a track changed meanwhile has its own say.
    if (published == m_published)
        m_statusLabel->setText(problem.isEmpty() ? PanelProbe::noMatchesText() : problem);
}

void PlayerWindow::setStoreCheck(const StoreCheck &check)
{
    m_storeCheck = check;
}

QString PlayerWindow::describeLink(const QString &link)
{
    const QStringList parts = link.split(QLatin1Char('/'));
    if (parts.size() >= 4 && parts.constFirst() == QLatin1String("#Artist"))
        return QStringLiteral("the artist \u201c%1\u201d").arg(parts.mid(2, parts.size() - 3).join(QLatin1Char('/')));
    if (parts.size() >= 5 && parts.constFirst() == QLatin1String("#Product")) {
        const QString kind = parts.at(1).contains(QLatin1String("NowPlaying"))
                ? QStringLiteral("track")
                : QStringLiteral("album");
        return QStringLiteral("the %1 \u201c%2\u201d by %3")
                .arg(kind, parts.mid(3, parts.size() - 4).join(QLatin1Char('/')), parts.at(2));
    }
    return link;
}

void PlayerWindow::offerOpenData(bool on)
{
    const QSignalBlocker quiet(m_openData);
    m_openData->setChecked(on);
    m_openData->show();
    m_openDataNote->show();
}

void PlayerWindow::showOpenDataChosen(bool on, bool saved)
{
    if (!saved)
        m_statusLabel->setText(QStringLiteral("The choice could not be saved"));
    else
        m_statusLabel->setText(on ? QStringLiteral("Open data answers from the next start on")
                                  : QStringLiteral("The store emulator answers from the next start on"));
}

void PlayerWindow::follow(MprisFollower *follower)
{
    showFollowedTrack(QString(), PlayerTrack());
    connect(follower, &MprisFollower::followedChanged, this,
            [this, follower] { showFollowedTrack(follower->playerName(), follower->track()); });
    connect(follower, &MprisFollower::controlsChanged, this, [this, follower] {
        const MprisFollower::Controls controls = follower->controls();
        showPlayerControls(controls.previous, controls.playPause, controls.next);
    });
    connect(this, &PlayerWindow::previousRequested, follower, &MprisFollower::previous);
    connect(this, &PlayerWindow::playPauseRequested, follower, &MprisFollower::playPause);
    connect(this, &PlayerWindow::nextRequested, follower, &MprisFollower::next);
}

void PlayerWindow::showPlayerControls(bool previous, bool playPause, bool next)
{
    m_previous->setEnabled(previous);
    m_playPause->setEnabled(playPause);
    m_next->setEnabled(next);
}

void PlayerWindow::showLinkSent(const QString &link)
{
    m_statusLabel->setText(QStringLiteral("Opened %1").arg(describeLink(link)));
}

bool PlayerWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Shown when the window system first exposes the window, which on
    // Wayland comes after the compositor has configured it.
    if (watched == windowHandle() && event->type() == QEvent::Expose && !m_shownOnScreen
        && windowHandle()->isExposed()) {
        m_shownOnScreen = true;
        windowHandle()->removeEventFilter(this);
        emit shownOnScreen();
    }
    // The panel grows and shrinks with what it shows: a change below it asks
    // for a new layout, and the panel is fitted to what its contents ask.
    if ((watched == m_panel && event->type() == QEvent::LayoutRequest)
        || (watched == m_view->viewport() && event->type() == QEvent::Resize))
        fitPanel();
    return QWidget::eventFilter(watched, event);
}

void PlayerWindow::fitPanel()
{
    if (m_probe)
        m_probe->fitToContents(m_view->viewport()->width());
}

void PlayerWindow::showEvent(QShowEvent *event)
{
    if (!m_shownOnScreen && windowHandle())
        windowHandle()->installEventFilter(this);
    QWidget::showEvent(event);
}

void PlayerWindow::resizeEvent(QResizeEvent *event)
{
    if (m_shownOnScreen && event->spontaneous())
        m_resized.start();
    QWidget::resizeEvent(event);
}

void PlayerWindow::showPanel(const QString &viewId)
{
    if (m_panel) {
        m_panel->removeEventFilter(this);
        disconnect(m_panel, nullptr, this, nullptr);
        m_scene->removeItem(m_panel);
    }
    delete m_probe;
    m_probe = nullptr;
    m_viewId = viewId;
    m_panel = m_host->view(viewId);
    if (!m_panel)
        return;
    m_probe = new PanelProbe(m_panel, this);
    m_scene->addItem(m_panel);
    connect(m_panel, &QGraphicsWidget::geometryChanged, this,
            &PlayerWindow::onPanelGeometryChanged);
    m_panel->installEventFilter(this);
    fitPanel();
    onPanelGeometryChanged();
}

void PlayerWindow::showFollowedTrack(const QString &player, const PlayerTrack &track)
{
    const bool followedBefore = m_follows;
    m_follows = true;
    if (player.isEmpty() && !m_demo.isEmpty()) {
        if (!followedBefore)
            updateTrackLabel();
        if (!m_followedPlayer.isEmpty() || m_playlist != m_demo) {
            m_followedPlayer.clear();
            m_playlist = m_demo;
            m_current = 0;
            m_playPause->hide();
            showPlayerControls(m_demo.size() > 1, false, m_demo.size() > 1);
            publishCurrent();
        }
        return;
    }
    if (m_followedPlayer.isEmpty()) {
        m_playPause->show();
        showPlayerControls(false, false, false);
    }
    m_followedPlayer = player.isEmpty() ? QStringLiteral("no player") : player;
    m_playlist = { track };
    m_current = 0;
    publishCurrent();
}

void PlayerWindow::updateTrackLabel()
{
    if (m_playlist.isEmpty())
        return;
    const PlayerTrack &track = m_playlist.at(m_current);
    // Details the track lacks are left out, not shown as empty places.
    const QString details = track.artist.isEmpty() ? QStringLiteral("no track") : track.text();
    if (m_followedPlayer.isEmpty())
        m_trackLabel->setText(QStringLiteral("%1%2 of %3: %4")
                                      .arg(m_follows ? QStringLiteral("No player plays; demo ")
                                                               : QString())
                                      .arg(m_current + 1)
                                      .arg(m_playlist.size())
                                      .arg(details));
    else
        m_trackLabel->setText(QStringLiteral("Following %1: %2").arg(m_followedPlayer, details));
}

void PlayerWindow::publishCurrent()
{
    if (m_playlist.isEmpty() || m_viewId.isEmpty())
        return;
    const PlayerTrack &track = m_playlist.at(m_current);
    updateTrackLabel();
    m_statusLabel->clear();
    m_settling.stop();
    ++m_published;
    m_host->publish(m_viewId, track);
    if (!track.artist.isEmpty()) {
        m_settlingDeadline.setRemainingTime(settlingLimitMs);
        m_settling.start();
    }
}
