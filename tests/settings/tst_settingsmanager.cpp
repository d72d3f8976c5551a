#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

#include "dconftool.h"
#include "settingsmanager.h"

namespace {

const QString key = QStringLiteral("/apps/Multimedia/music/velloraprom");

} // namespace

class tst_SettingsManager : public QObject
{
    Q_OBJECT

private slots:
    void storedValueReadAtStart();
    void oneInstance();
    void metaObjectOrder();
    void changeByAnotherProgram_data();
    void changeByAnotherProgram();
    void setterWithCurrentValueDoesNothing();
    void setterWritesAndTheSignalFollows();

private:
    // Brings the key to a state ("" = unset) by another program and waits until the manager has
    // seen it.
    void prepare(const QString &state);
};

void tst_SettingsManager::prepare(const QString &state)
{
    SettingsManager *manager = SettingsManager::instance();
    const QString current = DconfTool::read(key);
    if (current == state)
        return;
    QSignalSpy modifiedSpy(manager, &SettingsManager::settingsModified);
    DconfTool::run(state.isEmpty() ? QStringList { "reset", key }
                                   : QStringList { "write", key, state });
    QVERIFY(modifiedSpy.wait(5000));
    QCOMPARE(manager->velloraPromotion(), state != "false");
}

// The switch turned off before the manager is made stays off; unset again, it is on.
void tst_SettingsManager::storedValueReadAtStart()
{
    QVERIFY(DconfTool::write(key, QStringLiteral("false")));
    QVERIFY(!SettingsManager::instance()->velloraPromotion());
    prepare(QString());
}

void tst_SettingsManager::oneInstance()
{
    QCOMPARE(SettingsManager::instance(), SettingsManager::instance());
    QCOMPARE(SettingsManager::instance()->parent(), nullptr);
}

void tst_SettingsManager::metaObjectOrder()
{
    const QMetaObject &meta = SettingsManager::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        methods.append(QString::fromLatin1(meta.method(i).methodSignature()));
    QCOMPARE(methods,
             (QStringList { "settingsModified(bool)", "setVelloraPromotion(bool)",
                            "loadMGConfSettings()" }));
    QCOMPARE(meta.method(meta.methodOffset()).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta.method(meta.methodOffset() + 1).access(), QMetaMethod::Public);
    QCOMPARE(meta.method(meta.methodOffset() + 2).access(), QMetaMethod::Private);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
}

void tst_SettingsManager::changeByAnotherProgram_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<bool>("enabled");

    // The store reports no write that leaves a key as it was, so a report
    // that keeps the switch's value comes from unset-to-true or a reset of the folder.

    QTest::newRow("unset to false") << "" << QStringList { "write", key, "false" } << false;
    QTest::newRow("false to true") << "false" << QStringList { "write", key, "true" } << true;
    QTest::newRow("unset to true, still on") << "" << QStringList { "write", key, "true" } << true;
    QTest::newRow("unset, folder removed, still on")
            << "" << QStringList { "reset", "-f", "/apps/Multimedia/" } << true;
    QTest::newRow("false removed") << "false" << QStringList { "reset", key } << true;
    QTest::newRow("folder removed")
            << "false" << QStringList { "reset", "-f", "/apps/Multimedia/" } << true;
}

void tst_SettingsManager::changeByAnotherProgram()
{
    QFETCH(QString, before);
    QFETCH(QStringList, command);
    QFETCH(bool, enabled);

    prepare(before);
    // A neighbour in the folder, so that removing the folder is a real change.
    DconfTool::write("/apps/Multimedia/music/neighbour", "1");
    SettingsManager *manager = SettingsManager::instance();
    QSignalSpy modifiedSpy(manager, &SettingsManager::settingsModified);
    DconfTool::run(command);
    QVERIFY(modifiedSpy.wait(5000));
    QCOMPARE(modifiedSpy.count(), 1);
    QCOMPARE(modifiedSpy.first().first().toBool(), enabled);
    QCOMPARE(manager->velloraPromotion(), enabled);
}

void tst_SettingsManager::setterWithCurrentValueDoesNothing()
{
    prepare(QString());
    SettingsManager *manager = SettingsManager::instance();
    QSignalSpy modifiedSpy(manager, &SettingsManager::settingsModified);
    manager->setVelloraPromotion(true);
    QCOMPARE(DconfTool::read(key), QString());

    // A later change is the only one reported: the setter caused none.
    DconfTool::write(key, "false");
    QVERIFY(modifiedSpy.wait(5000));
    QCOMPARE(modifiedSpy.count(), 1);
    QCOMPARE(modifiedSpy.first().first().toBool(), false);
}

void tst_SettingsManager::setterWritesAndTheSignalFollows()
{
    prepare("false");
    SettingsManager *manager = SettingsManager::instance();
    QSignalSpy modifiedSpy(manager, &SettingsManager::settingsModified);
    manager->setVelloraPromotion(true);
    QCOMPARE(modifiedSpy.count(), 0);
    QVERIFY(manager->velloraPromotion());
    QCOMPARE(DconfTool::read(key), QString("true"));
    QVERIFY(modifiedSpy.wait(5000));
    QCOMPARE(modifiedSpy.count(), 1);
    QCOMPARE(modifiedSpy.first().first().toBool(), true);
}

QTEST_MAIN(tst_SettingsManager)
#include "tst_settingsmanager.moc"
