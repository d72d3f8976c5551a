#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "companionsettings.h"
#include "demostore.h"
#include "expectedrows.h"
#include "fakemprisplayer.h"
#include "mprisfollower.h"
#include "panelprobe.h"
#include "playerwindow.h"
#include "pluginhost.h"
#include "svwidget.h"
#include "viewnames.h"

namespace {

const int settleTimeout = 20000;

QStringList labelTexts(const PlayerWindow &window)
{
    QStringList texts;
    const QList<QLabel *> labels = window.findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts.append(label->text());
    return texts;
}

} // namespace

// The player's window around the plug-in's panels, loaded as the player loads them.
class tst_PlayerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chooserSwitchesViews();
    void keepsSayingWhyNothingCame_data();
    void keepsSayingWhyNothingCame();
    void linksInWords_data();
    void linksInWords();
    void drivesTheFollowedPlayer();
    void keyboardHabits();
    void demoWhileNoPlayer();
    void openDataSwitchIsRemembered();
    void fitsTheScreen_data();
    void fitsTheScreen();

private:
    DemoStore m_store;
    std::unique_ptr<PluginHost> m_host;
};

void tst_PlayerWindow::initTestCase()
{
    QVERIFY(m_store.start());
    m_store.writeClientSettings();
}

void tst_PlayerWindow::init()
{
    m_host = std::make_unique<PluginHost>();
    QVERIFY2(m_host->load(QStringLiteral(VELLORA_PLUGIN_FILE)), qPrintable(m_host->errorString()));
    m_host->initializeAll();
}

void tst_PlayerWindow::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "VelloraApplicationExtension::~VelloraApplicationExtension()");
    m_host.reset();
}

void tst_PlayerWindow::chooserSwitchesViews()
{
    const QString name = m_store.sampleTracks(1).constFirst().artist;
    const StoreArtist *artist = m_store.server().catalog().search(name).constFirst();
    PlayerWindow window(m_host.get(), { { name, QString(), QString(), QString() } },
                        ViewNames::Player);
    window.show();
    // The track's missing details leave no empty places.
    QVERIFY2(labelTexts(window).contains(QStringLiteral("1 of 1: ") + name),
             qPrintable(labelTexts(window).join('|')));
    auto *chooser = window.findChild<QComboBox *>();
    auto *sceneView = window.findChild<QGraphicsView *>();
    QVERIFY(chooser && sceneView);
    QStringList choices;
    for (int i = 0; i < chooser->count(); ++i)
        choices.append(chooser->itemText(i));
    QCOMPARE(choices,
             QStringList({ QStringLiteral("Player"), QStringLiteral("Album"),
                           QStringLiteral("Artist") }));

    for (int i = chooser->count() - 1; i >= 0; --i) {
        chooser->setCurrentIndex(i);
        const QString viewId = chooser->itemData(i).toString();
        SvWidget *panel = m_host->view(viewId);
        PanelProbe probe(panel);
        QVERIFY(probe.waitForSettled(settleTimeout, false));
        QCOMPARE(probe.titles(), expectedTitles(m_store.server().catalog(), viewId, *artist));
        // The window shows the whole panel, fitted to its rows.
        QCOMPARE(panel->scene(), sceneView->scene());
        QTRY_COMPARE_WITH_TIMEOUT(
                panel->size().height(),
                panel->effectiveSizeHint(Qt::PreferredSize, QSizeF(panel->size().width(), -1))
                        .height(),
                settleTimeout);
        QCOMPARE(sceneView->sceneRect(), panel->geometry());
    }
}

void tst_PlayerWindow::keepsSayingWhyNothingCame_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("said");
    QTest::newRow("the store knows no match") << QString() << PanelProbe::noMatchesText();
    QTest::newRow("the store cannot be reached")
            << QStringLiteral("store unreachable: Connection refused")
            << QStringLiteral("store unreachable: Connection refused");
}

void tst_PlayerWindow::keepsSayingWhyNothingCame()
{
    QFETCH(QString, problem);
    QFETCH(QString, said);
    const QString artist = QStringLiteral("Unknown To The Store");
    PlayerWindow window(m_host.get(), { { artist, QString(), QString(), QString() } },
                        ViewNames::Player);
    QStringList asked;
    window.setStoreCheck([&](const QString &checked, const QString &viewId) {
        asked.append(checked + QLatin1Char('/') + viewId);
        return problem;
    });
    window.show();
    PanelProbe probe(m_host->view(ViewNames::Player));
    QVERIFY(probe.waitForSettled(settleTimeout, false));
    QCOMPARE(probe.state(), PanelProbe::State::NoMatches);
    // The panel shows its text for a few seconds; the window says it on.
    QTRY_VERIFY_WITH_TIMEOUT(probe.state() != PanelProbe::State::NoMatches, settleTimeout);
    QVERIFY2(labelTexts(window).contains(said), qPrintable(labelTexts(window).join('|')));
    QCOMPARE(asked, QStringList { artist + QLatin1Char('/') + ViewNames::Player });
}

void tst_PlayerWindow::linksInWords_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("words");
    QTest::newRow("artist") << QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/AC/DC/a1")
                            << QStringLiteral("the artist \u201cAC/DC\u201d");
    QTest::newRow("track")
            << QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/Kino/Gruppa krovi/t1")
            << QStringLiteral("the track \u201cGruppa krovi\u201d by Kino");
    QTest::newRow("album") << QStringLiteral("#Product/SolvaneSonavoSongViewVellora/Kino/Sonce/b1")
                           << QStringLiteral("the album \u201cSonce\u201d by Kino");
    QTest::newRow("no store link") << QStringLiteral("#Other/x") << QStringLiteral("#Other/x");
}

void tst_PlayerWindow::linksInWords()
{
    QFETCH(QString, link);
    QFETCH(QString, words);
    QCOMPARE(PlayerWindow::describeLink(link), words);
}

void tst_PlayerWindow::drivesTheFollowedPlayer()
{
    const PlayerTrack track = m_store.sampleTracks(1).constFirst();
    FakeMprisPlayer player(QStringLiteral("touched"));
    QVERIFY(player.start());
    MprisFollower follower;
    QVERIFY(follower.start());
    PlayerWindow window(m_host.get(), { PlayerTrack() }, ViewNames::Player);
    window.show();
    QPushButton *buttons[3] = {};
    const QList<QPushButton *> found = window.findChildren<QPushButton *>();
    for (QPushButton *button : found) {
        const int index = QStringList { QStringLiteral("Previous"), QStringLiteral("Play/Pause"),
                                        QStringLiteral("Next") }
                                  .indexOf(button->text());
        if (index >= 0)
            buttons[index] = button;
    }
    QVERIFY(buttons[0] && buttons[1] && buttons[2]);
    QVERIFY(!buttons[1]->isVisibleTo(&window));

    window.follow(&follower);
    player.play(FakeMprisPlayer::track(track.artist, track.album, track.song, track.genre));
    player.allow({ { QStringLiteral("CanPause"), true }, { QStringLiteral("CanGoNext"), true } });
    const QString following = QStringLiteral("Following Fake touched: ") + track.text();
    QTRY_VERIFY2_WITH_TIMEOUT(labelTexts(window).contains(following),
                              qPrintable(labelTexts(window).join('|')), settleTimeout);
    QVERIFY(buttons[1]->isVisibleTo(&window));
    QTRY_VERIFY_WITH_TIMEOUT(buttons[2]->isEnabled(), settleTimeout);
    QCOMPARE(buttons[0]->isEnabled(), false);
    QCOMPARE(buttons[1]->isEnabled(), true);
    buttons[2]->click();
    buttons[1]->click();
    QTRY_COMPARE_WITH_TIMEOUT(player.calls.size(), 2, settleTimeout);
    QCOMPARE(player.calls, (QStringList { QStringLiteral("Next"), QStringLiteral("PlayPause") }));
    // The player moves on; the window waits for what it says it plays.
    QVERIFY(labelTexts(window).contains(following));
}

void tst_PlayerWindow::demoWhileNoPlayer()
{
    const QList<PlayerTrack> demo = m_store.sampleTracks(2);
    PlayerWindow window(m_host.get(), demo, ViewNames::Player);
    window.show();
    const QString demoLabel = QStringLiteral("No player plays; demo 1 of 2: ") + demo.at(0).text();
    window.showFollowedTrack(QString(), PlayerTrack());
    QVERIFY2(labelTexts(window).contains(demoLabel), qPrintable(labelTexts(window).join('|')));
    window.showFollowedTrack(QStringLiteral("Fake"), demo.at(1));
    QVERIFY2(labelTexts(window).contains(QStringLiteral("Following Fake: ") + demo.at(1).text()),
             qPrintable(labelTexts(window).join('|')));
    // The player gone, the demo again, from its start.
    window.showFollowedTrack(QString(), PlayerTrack());
    QVERIFY2(labelTexts(window).contains(demoLabel), qPrintable(labelTexts(window).join('|')));
    QCOMPARE(window.windowTitle(), QStringLiteral("Vellora Companion"));
}

void tst_PlayerWindow::openDataSwitchIsRemembered()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv(CompanionSettings::CallerConfigVariable, config.path().toLocal8Bit());
    const auto unset = qScopeGuard([] { qunsetenv(CompanionSettings::CallerConfigVariable); });
    QCOMPARE(CompanionSettings::openData(), false);

    PlayerWindow window(m_host.get(), m_store.sampleTracks(1), ViewNames::Player);
    window.show();
    auto *toggle = window.findChild<QCheckBox *>();
    QVERIFY(toggle);
    QVERIFY(!toggle->isVisibleTo(&window));
    window.offerOpenData(false);
    QVERIFY(toggle->isVisibleTo(&window));
    QVERIFY(toggle->height() >= PlayerWindow::TouchHeight);
    // What leaves the machine, and to whom, is said beside it.
    QVERIFY(labelTexts(window).join('|').contains(QLatin1String("MusicBrainz")));
    QSignalSpy chosenSpy(&window, &PlayerWindow::openDataChosen);
    connect(&window, &PlayerWindow::openDataChosen, &window, [&window](bool on) {
        window.showOpenDataChosen(on, CompanionSettings::setOpenData(on));
    });
    toggle->click();
    QCOMPARE(chosenSpy.count(), 1);
    QCOMPARE(CompanionSettings::openData(), true);
    toggle->click();
    QCOMPARE(CompanionSettings::openData(), false);

    // Only the line that says so turns it on; the file is read bounded.
    QFile file(CompanionSettings::fileName());
    for (const QByteArray &text : { QByteArray("open-data=true\n"), QByteArray("open-data=1\n"),
                                    QByteArray(8192, 'x') + "\nopen-data=true\n" }) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        QCOMPARE(CompanionSettings::openData(), text == "open-data=true\n");
    }
}

void tst_PlayerWindow::keyboardHabits()
{
    PlayerWindow window(m_host.get(), { m_store.sampleTracks(1).constFirst() }, ViewNames::Player);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), window.findChild<QComboBox *>());
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!window.isVisible());
}

void tst_PlayerWindow::fitsTheScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("following");
    QTest::newRow("phone") << QSize(360, 720) << false;
    QTest::newRow("phone, following a player") << QSize(360, 720) << true;
    QTest::newRow("desktop") << QSize(1024, 768) << false;
}

void tst_PlayerWindow::fitsTheScreen()
{
    QFETCH(QSize, size);
    QFETCH(bool, following);
    const PlayerTrack track = m_store.sampleTracks(1).constFirst();
    PlayerWindow window(m_host.get(), { track, track }, ViewNames::Player);
    if (following)
        window.showFollowedTrack(QStringLiteral("A Player With A Long Name"), track);
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), size);
    SvWidget *panel = m_host->view(ViewNames::Player);
    PanelProbe probe(panel);
    QVERIFY(probe.waitForSettled(settleTimeout, true));
    auto *sceneView = window.findChild<QGraphicsView *>();
    QVERIFY(sceneView);
    // The panel takes the view's width, up to its own full width.
    const int width = qMin(sceneView->viewport()->width(), int(PanelProbe::MaximumWidth));
    QTRY_COMPARE_WITH_TIMEOUT(int(panel->size().width()), width, settleTimeout);

    // Every control inside the window, and big enough for a finger.
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        if (!widget->isVisibleTo(&window))
            continue;
        const QRect area(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        QVERIFY2(window.rect().contains(area),
                 qPrintable(QStringLiteral("%1 at %2,%3 %4 x %5")
                                    .arg(QString::fromLatin1(widget->metaObject()->className()))
                                    .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())));
        if (qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget))
            QVERIFY(widget->height() >= PlayerWindow::TouchHeight);
    }
    // Nothing of the panel drawn past the view: long texts are cut short.
    const QRectF shown = sceneView->viewportTransform().mapRect(panel->sceneBoundingRect());
    QVERIFY2(shown.left() >= 0 && shown.right() <= sceneView->viewport()->width() + 0.5,
             qPrintable(QStringLiteral("%1 to %2 in %3")
                                .arg(shown.left()).arg(shown.right()).arg(sceneView->viewport()->width())));
    const QList<QGraphicsItem *> items = panel->childItems();
    for (const QGraphicsItem *item : items) {
        if (item->isVisible())
            QVERIFY(item->sceneBoundingRect().right() <= panel->sceneBoundingRect().right() + 0.5);
    }
    const QString folder = qEnvironmentVariable("WINDOW_SCREENSHOT_FOLDER");
    if (!folder.isEmpty())
        QVERIFY(window.grab().save(QStringLiteral("%1/window-%2x%3%4.png")
                                           .arg(folder).arg(size.width()).arg(size.height())
                                           .arg(following ? QStringLiteral("-following") : QString())));
}

QTEST_MAIN(tst_PlayerWindow)
#include "tst_playerwindow.moc"
