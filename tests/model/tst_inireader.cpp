#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "inireader.h"
#include "testfiles.h"

// Each file of the folder is read by QSettings and by the reader; the reader
// must give what QSettings gives for every plain value, and no value for
// those that a first line "; objects: KEY ..." names.
class tst_IniReader : public QObject
{
    Q_OBJECT

private slots:
    void readsAsQSettings_data();
    void readsAsQSettings();
};

namespace {

const QStringList Keys = {
    QStringLiteral("ServiceProviders/CorvexMusic/PAPI/protocol"),
    QStringLiteral("ServiceProviders/CorvexMusic/PAPI/host"),
    QStringLiteral("ServiceProviders/CorvexMusic/PAPI/clientDeviceToken"),
    QStringLiteral("ServiceProviders/CorvexMusic/PAPI/version"),
    QStringLiteral("User/territory"),
};

} // namespace

void tst_IniReader::readsAsQSettings_data()
{
    QTest::addColumn<QString>("file");
    const QDir folder(QStringLiteral(TEST_DATA "/settings-forms"));
    for (const QString &name : folder.entryList({ QStringLiteral("*.conf") }, QDir::Files))
        QTest::newRow(qPrintable(name.chopped(5))) << folder.filePath(name);
}

void tst_IniReader::readsAsQSettings()
{
    QFETCH(QString, file);
    const QByteArray text = TestFiles::read(file);
    QVERIFY(!text.isEmpty());
    QStringList objects;
    if (text.startsWith("; objects: "))
        objects = QString::fromUtf8(text.mid(11, text.indexOf('\n') - 11)).split(QLatin1Char(' '));

    QHash<QString, QString> expected;
    const QSettings settings(file, QSettings::IniFormat);
    for (const QString &key : Keys) {
        if (settings.contains(key) && !objects.contains(key))
            expected.insert(key, settings.value(key).toString());
    }
    QStringList refused;
    QCOMPARE(IniReader::read(text, Keys, &refused), expected);
    QCOMPARE(refused, objects);
}

QTEST_GUILESS_MAIN(tst_IniReader)
#include "tst_inireader.moc"
