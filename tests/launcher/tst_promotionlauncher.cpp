#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

#include "fakestoreclient.h"
#include "promotionlauncher.h"
#include "promotionlauncher_p.h"
#include "sondrelopeninterface.h"

class tst_PromotionLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void writesDebugLine();
    void sendsLinkUnchanged_data();
    void sendsLinkUnchanged();
    void absentStoreClientDoesNotDisturb();
    void silentStoreClientDoesNotBlock();
    void directLauncherLeavesInstanceAlone();
    void floodedStoreClientKeepsTheLastLinks();

private:
    const SondrelOpenInterface *interfaceObject() const;

    FakeStoreClient m_store;
};

void tst_PromotionLauncher::initTestCase()
{
    QVERIFY(m_store.start());
}

void tst_PromotionLauncher::init()
{
    m_store.clear();
    m_store.setSilent(false);
    QVERIFY(m_store.registerService());
}

void tst_PromotionLauncher::cleanup()
{
    m_store.unregisterService();
}

const SondrelOpenInterface *tst_PromotionLauncher::interfaceObject() const
{
    const auto *d = PromotionLauncher::instance()->findChild<PromotionLauncherPrivate *>();
    return d ? d->m_interface.get() : nullptr;
}

void tst_PromotionLauncher::writesDebugLine()
{
    QTest::ignoreMessage(QtDebugMsg,
                         "PromotionLauncherPrivate::launchInMusicStoreClient() "
                         "\"#Artist/SolvaneSonavoSongViewVellora/Nightfall/7\"");
    PromotionLauncher::instance()->launchInMusicStoreClient(
            QStringLiteral("#Artist/SolvaneSonavoSongViewVellora/Nightfall/7"));
    QTRY_COMPARE(m_store.callCount(), 1);
}

void tst_PromotionLauncher::sendsLinkUnchanged_data()
{
    QTest::addColumn<QString>("link");

    QTest::newRow("artist-row-empty-middle")
            << QStringLiteral("#Artist/SolvaneSonavoAlbumViewVellora/Nightfall//42");
    QTest::newRow("name-with-slash-and-ampersand") << QStringLiteral(
            "#Product/SolvaneSonavoNowPlayingViewVellora/AC/DC & Friends/Back/In Black?/123");
    QTest::newRow("non-latin-names")
            << QStringLiteral("#Product/SolvaneSonavoSongViewVellora/Björk/Ж時代 🎵/7");
    QTest::newRow("quotes-percent-backslash")
            << QStringLiteral("#Artist/SolvaneSonavoSongViewVellora/\"Weird\" %20 Al\\/9");
    QTest::newRow("surrounding-blanks-kept") << QStringLiteral("  /Nightfall/7 \t");
    QTest::newRow("empty") << QString();
}

void tst_PromotionLauncher::sendsLinkUnchanged()
{
    QFETCH(QString, link);

    PromotionLauncher::instance()->launchInMusicStoreClient(link);

    QTRY_COMPARE(m_store.callCount(), 1);
    QCOMPARE(m_store.links(), QStringList { link });
}

void tst_PromotionLauncher::absentStoreClientDoesNotDisturb()
{
    PromotionLauncher *launcher = PromotionLauncher::instance();
    launcher->launchInMusicStoreClient(QStringLiteral("#Artist/warm-up/0"));
    QTRY_COMPARE(m_store.callCount(), 1);
    const SondrelOpenInterface *interface = interfaceObject();

    m_store.unregisterService();
    launcher->launchInMusicStoreClient(QStringLiteral("#Artist/nobody-listens/1"));
    // The bus handles one connection's messages in order: once this question on
    // the launcher's connection is answered, the call above has been turned away,
    // and registering the client again cannot overtake it.
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            FakeStoreClient::ServiceName));

    // Once the client is back, the same interface object reaches it again and
    // the call made in its absence never turns up.
    QVERIFY(m_store.registerService());
    launcher->launchInMusicStoreClient(QStringLiteral("#Artist/back-again/2"));
    QTRY_COMPARE(m_store.callCount(), 2);
    QCOMPARE(m_store.links().at(1), QStringLiteral("#Artist/back-again/2"));
    QCOMPARE(interfaceObject(), interface);
}

void tst_PromotionLauncher::silentStoreClientDoesNotBlock()
{
    m_store.setSilent(true);
    PromotionLauncher *launcher = PromotionLauncher::instance();

    launcher->launchInMusicStoreClient(QStringLiteral("#Artist/unanswered/1"));
    // The client runs on this thread: had the launch waited for it, the call
    // would already have been handled when the launch returned.
    QCOMPARE(m_store.callCount(), 0);
    launcher->launchInMusicStoreClient(QStringLiteral("#Artist/unanswered/2"));

    // Nothing but the two calls reaches the client; in particular no
    // introspection, which would wait for the unanswering client.
    QTRY_COMPARE(m_store.callCount(), 2);
    QCOMPARE(m_store.links(),
             (QStringList { QStringLiteral("#Artist/unanswered/1"),
                            QStringLiteral("#Artist/unanswered/2") }));
}

void tst_PromotionLauncher::directLauncherLeavesInstanceAlone()
{
    PromotionLauncher *shared = PromotionLauncher::instance();
    {
        PromotionLauncher own;
        own.launchInMusicStoreClient(QStringLiteral("#Artist/own/3"));
        QTRY_COMPARE(m_store.callCount(), 1);
    }
    QCOMPARE(PromotionLauncher::instance(), shared);
}

void tst_PromotionLauncher::floodedStoreClientKeepsTheLastLinks()
{
    // Any peer on the bus may call the stand-in, as often and with as much as it likes.
    const int calls = 100;
    const QString padding(128 * 1024, u'x');
    for (int i = 0; i < calls; ++i) {
        QDBusMessage open = QDBusMessage::createMethodCall(
                FakeStoreClient::ServiceName, QStringLiteral("/"), FakeStoreClient::OpenInterface,
                i % 2 ? QStringLiteral("open") : QStringLiteral("close"));
        open << QString::number(i) + padding;
        QDBusConnection::sessionBus().asyncCall(open);
    }
    QTRY_COMPARE(m_store.callCount(), calls);
    QCOMPARE(m_store.links().size(), FakeStoreClient::KeptLinks);
    QCOMPARE(m_store.links().constLast(), QString::number(calls - 1) + padding);
}

QTEST_GUILESS_MAIN(tst_PromotionLauncher)
#include "tst_promotionlauncher.moc"
