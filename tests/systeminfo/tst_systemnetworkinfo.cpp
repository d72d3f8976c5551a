#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "fakemodemmanager.h"
#include "systemnetworkinfo.h"
#include "testfiles.h"

namespace {
const auto simPath = &FakeModemManager::simPath;
}

class tst_SystemNetworkInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void noSystemBus();
    void countryCodeFromSim_data();
    void countryCodeFromSim();
    void noModemManager();
    void silentModemManager_data();
    void silentModemManager();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_busAddress;
    FakeModemManager m_fake;
};

void tst_SystemNetworkInfo::initTestCase()
{
    QVERIFY(m_dir.isValid());

    // A service file lets the test tell whether anything tried to start the
    // modem service: starting it leaves the marker behind.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("services")));
    const QByteArray dir = m_dir.path().toUtf8();
    for (const QString &name : { QStringLiteral("bus.conf"),
                                 QStringLiteral("services/org.freedesktop.ModemManager1.service") })
        QVERIFY(TestFiles::write(
                m_dir.filePath(name),
                TestFiles::read(QStringLiteral(TEST_DATA "/") + QFileInfo(name).fileName())
                        .replace("@DIR@", dir)));

    QSignalSpy outputSpy(&m_daemon, &QProcess::readyReadStandardOutput);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   { QStringLiteral("--config-file=") + m_dir.filePath(QStringLiteral("bus.conf")),
                     QStringLiteral("--print-address"), QStringLiteral("--nofork"),
                     QStringLiteral("--nopidfile") });
    QVERIFY2(m_daemon.waitForStarted(), qPrintable(m_daemon.errorString()));
    while (!m_daemon.canReadLine())
        QVERIFY(outputSpy.wait());
    m_busAddress = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_busAddress.isEmpty());

    QVERIFY(m_fake.start(m_busAddress));
}

void tst_SystemNetworkInfo::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void tst_SystemNetworkInfo::init()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_busAddress.toUtf8());
    m_fake.setModems({ QVariant::fromValue(QDBusObjectPath(simPath(0))) });
    m_fake.setOperatorIds({ { simPath(0), QStringLiteral("24405") } });
    m_fake.setSilentMethods({});
    QVERIFY(m_fake.registerService());
}

void tst_SystemNetworkInfo::cleanup()
{
    m_fake.unregisterService();
}

void tst_SystemNetworkInfo::noSystemBus()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS",
            "unix:path=" + m_dir.filePath(QStringLiteral("no-such-bus")).toUtf8());
    QCOMPARE(SystemNetworkInfo().homeMobileCountryCode(), QString());

    // The failed connection is not kept: once the address leads to a bus,
    // the code is found.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_busAddress.toUtf8());
    QCOMPARE(SystemNetworkInfo().homeMobileCountryCode(), QStringLiteral("244"));
}

void tst_SystemNetworkInfo::countryCodeFromSim_data()
{
    QTest::addColumn<QVariantList>("sims");
    QTest::addColumn<QVariantMap>("operatorIds");
    QTest::addColumn<QString>("code");

    const QVariant sim0 = QVariant::fromValue(QDBusObjectPath(simPath(0)));
    const QVariant sim1 = QVariant::fromValue(QDBusObjectPath(simPath(1)));
    const QVariant noSim = QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));

    const auto sim0Id = [](const QVariant &id) { return QVariantMap { { simPath(0), id } }; };
    QTest::newRow("five-digit-id")
            << QVariantList { sim0 } << sim0Id(QStringLiteral("24405")) << "244";
    QTest::newRow("six-digit-id") << QVariantList { sim0 } << sim0Id(QStringLiteral("310410"))
                                  << "310";
    QTest::newRow("no-modem") << QVariantList {} << QVariantMap {} << "";
    QTest::newRow("modem-without-sim")
            << QVariantList { noSim } << sim0Id(QStringLiteral("24405")) << "";
    QTest::newRow("modem-without-sim-property")
            << QVariantList { QVariant() } << sim0Id(QStringLiteral("24405")) << "";
    QTest::newRow("sim-property-not-a-path")
            << QVariantList { simPath(0) } << sim0Id(QStringLiteral("24405")) << "";
    QTest::newRow("sim-object-gone") << QVariantList { sim0 } << QVariantMap {} << "";
    QTest::newRow("second-modem-holds-sim")
            << QVariantList { noSim, sim1 }
            << QVariantMap { { simPath(1), QStringLiteral("26201") } } << "262";
    QTest::newRow("first-sim-unusable")
            << QVariantList { sim0, sim1 }
            << QVariantMap { { simPath(0), QString() }, { simPath(1), QStringLiteral("20810") } }
            << "208";
    QTest::newRow("id-empty") << QVariantList { sim0 } << sim0Id(QString()) << "";
    QTest::newRow("id-too-short") << QVariantList { sim0 } << sim0Id(QStringLiteral("2440")) << "";
    QTest::newRow("id-too-long") << QVariantList { sim0 } << sim0Id(QStringLiteral("2440512"))
                                 << "";
    QTest::newRow("id-not-digits")
            << QVariantList { sim0 } << sim0Id(QStringLiteral("24a05")) << "";
    QTest::newRow("id-with-blank")
            << QVariantList { sim0 } << sim0Id(QStringLiteral(" 24405")) << "";
    QTest::newRow("id-non-latin-digits")
            << QVariantList { sim0 } << sim0Id(QStringLiteral("٢٤٤٠٥")) << "";
    QTest::newRow("id-with-nine") << QVariantList { sim0 } << sim0Id(QStringLiteral("90118"))
                                  << "901";
    QTest::newRow("reply-without-value") << QVariantList { sim0 } << sim0Id(QVariant()) << "";
    QTest::newRow("id-not-a-string") << QVariantList { sim0 } << sim0Id(24405u) << "";
}

void tst_SystemNetworkInfo::countryCodeFromSim()
{
    QFETCH(QVariantList, sims);
    QFETCH(QVariantMap, operatorIds);
    QFETCH(QString, code);

    m_fake.setModems(sims);
    m_fake.setOperatorIds(operatorIds);

    QCOMPARE(SystemNetworkInfo().homeMobileCountryCode(), code);
}

void tst_SystemNetworkInfo::noModemManager()
{
    m_fake.unregisterService();

    QCOMPARE(SystemNetworkInfo().homeMobileCountryCode(), QString());
    QVERIFY2(!QFile::exists(m_dir.filePath(QStringLiteral("started"))),
             "the modem service was started");
}

void tst_SystemNetworkInfo::silentModemManager_data()
{
    QTest::addColumn<QSet<QString>>("silentMethods");
    QTest::addColumn<int>("sims");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("effectiveTimeout");

    const QSet<QString> objectManager { QStringLiteral("GetManagedObjects") };
    const QSet<QString> simProperties { QStringLiteral("Get") };
    QTest::newRow("object-manager") << objectManager << 1 << 50 << 50;
    QTest::newRow("sim-properties") << simProperties << 1 << 50 << 50;
    // One wait for them all, not one each (100 x 300 ms blocked the host for 30 s).
    QTest::newRow("hundred-silent-sims") << simProperties << 100 << 300 << 300;
    // Longer than the default: the wait shows that the setting is used.
    QTest::newRow("longer-than-default") << objectManager << 1 << 800 << 800;
    // Zero or less would leave the bus library's own wait of many seconds.
    QTest::newRow("zero-floored") << objectManager << 1 << 0 << 1;
    QTest::newRow("negative-floored") << objectManager << 1 << -5 << 1;
}

void tst_SystemNetworkInfo::silentModemManager()
{
    QFETCH(QSet<QString>, silentMethods);
    QFETCH(int, sims);
    QFETCH(int, timeout);
    QFETCH(int, effectiveTimeout);
    m_fake.setSilentMethods(silentMethods);
    QVariantList modems;
    for (int i = 0; i < sims; ++i)
        modems.append(QVariant::fromValue(QDBusObjectPath(simPath(i))));
    m_fake.setModems(modems);

    SystemNetworkInfo info;
    QCOMPARE(info.timeout(), SystemNetworkInfo::DefaultTimeout);
    info.setTimeout(timeout);
    QCOMPARE(info.timeout(), effectiveTimeout);
    QElapsedTimer waited;
    waited.start();
    QCOMPARE(info.homeMobileCountryCode(), QString());
    // A timeout can end a little early, never much.
    QVERIFY2(waited.elapsed() >= effectiveTimeout * 9 / 10,
             qPrintable(QString::number(waited.elapsed())));
    // The list of modems, then the SIMs together: two waits at most, whatever their number.
    QVERIFY2(waited.elapsed() < 2 * effectiveTimeout + 1000,
             qPrintable(QString::number(waited.elapsed())));
}

QTEST_GUILESS_MAIN(tst_SystemNetworkInfo)
#include "tst_systemnetworkinfo.moc"
