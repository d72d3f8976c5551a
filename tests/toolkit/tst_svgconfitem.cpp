#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

#include "dconftool.h"
#include "svgconfitem.h"

namespace {

const QString folder = QStringLiteral("/apps/Multimedia/test/");

} // namespace

class tst_SvGConfItem : public QObject
{
    Q_OBJECT

private slots:
    void unsetKeyIsInvalid();
    void roundTrip_data();
    void roundTrip();
    void ownWriteIsSignalledLater();
    void changeByAnotherProgram_data();
    void changeByAnotherProgram();
    void otherKeysAreNotReported();
    void invalidKey_data();
    void invalidKey();
    void deletedWhileChangePending();
    void watchEndsWithItem();
};

void tst_SvGConfItem::unsetKeyIsInvalid()
{
    SvGConfItem item(folder + "never-set");
    QVERIFY(!item.value().isValid());
    QCOMPARE(item.value(QVariant(7)), QVariant(7));
}

void tst_SvGConfItem::roundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("stored");

    QTest::newRow("false") << QVariant(false) << "false";
    QTest::newRow("true") << QVariant(true) << "true";
    QTest::newRow("string") << QVariant(QString::fromUtf8("Sävel")) << QString::fromUtf8("'Sävel'");
}

void tst_SvGConfItem::roundTrip()
{
    QFETCH(QVariant, value);
    QFETCH(QString, stored);

    const QString key = folder + "roundtrip";
    SvGConfItem item(key);
    item.set(value);
    QCOMPARE(item.value(), value);
    QCOMPARE(DconfTool::read(key), stored);

    item.unset();
    QVERIFY(!item.value().isValid());
    QCOMPARE(DconfTool::read(key), QString());
}

void tst_SvGConfItem::ownWriteIsSignalledLater()
{
    SvGConfItem item(folder + "own");
    QSignalSpy changedSpy(&item, &SvGConfItem::valueChanged);
    item.set(true);
    QCOMPARE(changedSpy.count(), 0);
    QVERIFY(changedSpy.wait(5000));
    QCOMPARE(item.value(), QVariant(true));
}

void tst_SvGConfItem::changeByAnotherProgram_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("write string") << QStringList { "write", "%1", "'x'" } << QVariant(QString("x"));
    QTest::newRow("reset folder") << QStringList { "reset", "-f", folder } << QVariant();
}

void tst_SvGConfItem::changeByAnotherProgram()
{
    QFETCH(QStringList, command);
    QFETCH(QVariant, expected);

    const QString key = folder + "external";
    DconfTool::write(key, "123");
    SvGConfItem item(key);
    QCOMPARE(item.value(), QVariant(123));
    QSignalSpy changedSpy(&item, &SvGConfItem::valueChanged);

    for (QString &argument : command)
        argument = argument.arg(key);
    DconfTool::run(command);
    QVERIFY(changedSpy.wait(5000));
    QCOMPARE(item.value(), expected);
}

void tst_SvGConfItem::otherKeysAreNotReported()
{
    const QString key = folder + "mine";
    SvGConfItem item(key);
    QSignalSpy changedSpy(&item, &SvGConfItem::valueChanged);
    DconfTool::write(folder + "mine-not", "1");
    DconfTool::write(folder + "other", "1");
    DconfTool::write(key, "2");
    QVERIFY(changedSpy.wait(5000));
    QTRY_COMPARE(item.value(), QVariant(2));
    QCOMPARE(changedSpy.count(), 1);
}

void tst_SvGConfItem::invalidKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("relative") << "apps/key";
    QTest::newRow("folder") << "/apps/folder/";
    QTest::newRow("double slash") << "/apps//key";
    QTest::newRow("empty") << "";
}

void tst_SvGConfItem::invalidKey()
{
    QFETCH(QString, key);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a configuration key"));
    SvGConfItem item(key);
    item.set(5);
    QVERIFY(!item.value().isValid());
}

void tst_SvGConfItem::deletedWhileChangePending()
{
    const QString key = folder + "pending";
    auto *item = new SvGConfItem(key);
    item->set(1);
    delete item;
    SvGConfItem witness(key);
    QSignalSpy changedSpy(&witness, &SvGConfItem::valueChanged);
    DconfTool::write(key, "2");
    QVERIFY(changedSpy.wait(5000));
}

// The bus's match rules, of every connection, that name the key: a watch of
// the key is one; -1 when the bus does not tell.
static int watchesOf(const QString &key)
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Debug.Stats"),
            QStringLiteral("GetAllMatchRules")));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    QMap<QString, QStringList> rules;
    reply.arguments().constFirst().value<QDBusArgument>() >> rules;
    int watches = 0;
    for (const QStringList &ofConnection : std::as_const(rules))
        watches += int(
                ofConnection.filter(QLatin1String("arg0path='") + key + QLatin1Char('\'')).size());
    return watches;
}

void tst_SvGConfItem::watchEndsWithItem()
{
    // A watch left behind kept the bus sending this process every change of
    // the key for as long as it ran.
    const QString key = folder + "watched";
    if (watchesOf(key) < 0)
        QSKIP("the session bus does not list its match rules");
    QCOMPARE(watchesOf(key), 0);
    {
        SvGConfItem item(key);
        QTRY_COMPARE(watchesOf(key), 1);
    }
    QTRY_COMPARE(watchesOf(key), 0);
}

QTEST_MAIN(tst_SvGConfItem)
#include "tst_svgconfitem.moc"
