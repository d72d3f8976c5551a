#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include "svabstractcellcreator.h"
#include "svdetailedlistitem.h"
#include "svlist.h"

class TestCell : public SvDetailedListItem
{
    Q_OBJECT

public:
    explicit TestCell(QGraphicsItem *parent)
        : SvDetailedListItem(IconTitleSubtitle, parent)
    {
        ++constructed;
    }

    static int constructed;
};

int TestCell::constructed = 0;

class TestCreator : public SvAbstractCellCreator<TestCell>
{
public:
    void updateCell(const QModelIndex &index, SvWidget *cell) const override
    {
        auto *item = qobject_cast<SvDetailedListItem *>(cell);
        if (!item)
            return;
        item->setTitle(index.data().toString());
        filled.append(index.row());
    }

    mutable QList<int> filled;
};

class tst_SvList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneCellPerRow();
    void followsRowChanges_data();
    void followsRowChanges();
    void dataChangedFillsAgain();
    void removedCellsAreReused();
    void cellsAreStacked();
    void clickReportsTheRow_data();
    void clickReportsTheRow();
    void modelDeletedClearsCells();

private:
    QStringList cellTitles() const;
    void settle();

    QStandardItemModel *m_model = nullptr;
    TestCreator *m_creator = nullptr;
    SvList *m_list = nullptr;
};

void tst_SvList::init()
{
    m_model = new QStandardItemModel;
    for (const char *title : { "alpha", "beta", "gamma" })
        m_model->appendRow(new QStandardItem(QString::fromLatin1(title)));
    m_creator = new TestCreator;
    m_list = new SvList;
    m_list->setCellCreator(m_creator);
    m_list->setItemModel(m_model);
    TestCell::constructed = 0;
    m_creator->filled.clear();
}

void tst_SvList::cleanup()
{
    delete m_list;
    delete m_creator;
    delete m_model;
}

QStringList tst_SvList::cellTitles() const
{
    QStringList titles;
    for (int i = 0; i < m_list->cellCount(); ++i)
        titles.append(qobject_cast<SvDetailedListItem *>(m_list->cellAt(i))->title());
    return titles;
}

void tst_SvList::settle()
{
    m_list->resize(400, m_list->effectiveSizeHint(Qt::PreferredSize).height());
    QCoreApplication::sendPostedEvents();
    m_list->layout()->activate();
}

void tst_SvList::oneCellPerRow()
{
    QCOMPARE(cellTitles(), (QStringList { "alpha", "beta", "gamma" }));
    for (int i = 0; i < m_list->cellCount(); ++i) {
        QVERIFY(qobject_cast<TestCell *>(m_list->cellAt(i)));
        QCOMPARE(m_list->cellAt(i)->parentItem(), m_list);
        QVERIFY(m_list->cellAt(i)->isVisible());
    }
}

void tst_SvList::followsRowChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("insert at 0") << "insert0" << QStringList { "new", "alpha", "beta", "gamma" };
    QTest::newRow("insert in the middle") << "insert2" << QStringList { "alpha", "beta", "new", "gamma" };
    QTest::newRow("append") << "append" << QStringList { "alpha", "beta", "gamma", "new" };
    QTest::newRow("remove first") << "remove0" << QStringList { "beta", "gamma" };
    QTest::newRow("remove two") << "remove1-2" << QStringList { "alpha" };
    QTest::newRow("reset to empty") << "clear" << QStringList {};
    QTest::newRow("reset and refill") << "refill" << QStringList { "one", "two" };
    QTest::newRow("sorted") << "sort" << QStringList { "gamma", "beta", "alpha" };
}

void tst_SvList::followsRowChanges()
{
    QFETCH(QString, change);
    QFETCH(QStringList, titles);

    if (change == "insert0")
        m_model->insertRow(0, new QStandardItem("new"));
    else if (change == "insert2")
        m_model->insertRow(2, new QStandardItem("new"));
    else if (change == "append")
        m_model->appendRow(new QStandardItem("new"));
    else if (change == "remove0")
        m_model->removeRow(0);
    else if (change == "remove1-2")
        m_model->removeRows(1, 2);
    else if (change == "clear")
        m_model->clear();
    else if (change == "refill") {
        m_model->clear();
        m_model->appendRow(new QStandardItem("one"));
        m_model->appendRow(new QStandardItem("two"));
    } else if (change == "sort")
        m_model->sort(0, Qt::DescendingOrder);

    QCOMPARE(cellTitles(), titles);
    QCOMPARE(m_list->cellCount(), m_model->rowCount());
}

void tst_SvList::dataChangedFillsAgain()
{
    m_model->item(1)->setText("BETA");
    QCOMPARE(m_creator->filled, QList<int> { 1 });
    QCOMPARE(cellTitles(), (QStringList { "alpha", "BETA", "gamma" }));
}

void tst_SvList::removedCellsAreReused()
{
    QPointer<SvWidget> removed = m_list->cellAt(1);
    m_model->removeRow(1);
    QVERIFY(removed);
    QVERIFY(!removed->isVisible());

    m_model->insertRow(0, new QStandardItem("again"));
    QCOMPARE(TestCell::constructed, 0);
    QCOMPARE(m_list->cellAt(0), removed.data());
    QVERIFY(m_list->cellAt(0)->isVisible());
    QCOMPARE(cellTitles(), (QStringList { "again", "alpha", "gamma" }));

    m_model->appendRow(new QStandardItem("fresh"));
    QCOMPARE(TestCell::constructed, 1);
}

void tst_SvList::cellsAreStacked()
{
    settle();
    for (int i = 1; i < m_list->cellCount(); ++i) {
        const QRectF above = m_list->cellAt(i - 1)->geometry();
        const QRectF cell = m_list->cellAt(i)->geometry();
        QVERIFY(cell.height() > 0);
        QCOMPARE(cell.top(), above.bottom());
        QCOMPARE(cell.width(), 400.0);
    }
}

void tst_SvList::clickReportsTheRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("releaseInside");
    QTest::addColumn<int>("clicks");

    QTest::newRow("first row") << 0 << true << 1;
    QTest::newRow("last row") << 2 << true << 1;
    QTest::newRow("released on another row") << 1 << false << 0;
}

void tst_SvList::clickReportsTheRow()
{
    QFETCH(int, row);
    QFETCH(bool, releaseInside);
    QFETCH(int, clicks);

    QGraphicsScene scene;
    scene.addItem(m_list);
    const auto takeBack = qScopeGuard([&] { scene.removeItem(m_list); });
    settle();
    QGraphicsView view(&scene);
    view.resize(500, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QSignalSpy clickedSpy(m_list, &SvList::itemClicked);
    const QPoint press = view.mapFromScene(m_list->cellAt(row)->sceneBoundingRect().center());
    const int other = (row + 1) % m_list->cellCount();
    const QPoint release = releaseInside
        ? press : view.mapFromScene(m_list->cellAt(other)->sceneBoundingRect().center());
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, press);
    QTest::mouseMove(view.viewport(), release);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, release);

    QCOMPARE(clickedSpy.count(), clicks);
    if (clicks) {
        const QModelIndex index = clickedSpy.first().first().value<QModelIndex>();
        QCOMPARE(index.row(), row);
        QCOMPARE(index.model(), m_model);
    }
}

void tst_SvList::modelDeletedClearsCells()
{
    delete m_model;
    m_model = nullptr;
    QCOMPARE(m_list->cellCount(), 0);
    QCOMPARE(m_list->itemModel(), nullptr);
}

QTEST_MAIN(tst_SvList)
#include "tst_svlist.moc"
