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
    const QHash<QString, QVariant> sims {
        { "sim0", QVariant::fromValue(QDBusObjectPath(simPath(0))) },
        { "sim1", QVariant::fromValue(QDBusObjectPath(simPath(1))) },
        { "none", QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))) },
        { "unset", QVariant() },
        { "text0", simPath(0) }
    };
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/sim-country-codes.tsv"))) {
        QVariantList modems;
        for (const QString &sim : row["SIMs"].split(QLatin1Char(' '), Qt::SkipEmptyParts))
            modems.append(sims.value(sim, QStringLiteral("unknown SIM token")));
        QVariantMap ids;
        for (const QString &id : row["operator ids"].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString value = id.section(QLatin1Char('='), 1);
            ids.insert(simPath(id.section(QLatin1Char('='), 0, 0).toInt()),
                       value == QLatin1String("<unset>") ? QVariant()
                               : value.startsWith(QLatin1String("<uint>"))
                               ? QVariant(value.mid(6).toUInt())
                               : QVariant(value));
        }
        QTest::newRow(qPrintable(row["tag"])) << modems << ids << row["code"];
    }
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
