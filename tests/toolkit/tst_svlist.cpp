#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <functional>

#include "svabstractcellcreator.h"
#include "svdetailedlistitem.h"
#include "svlist.h"

class CountedCell : public SvDetailedListItem
{
    Q_OBJECT

public:
    explicit CountedCell(QGraphicsItem *parent) : SvDetailedListItem(IconTitleSubtitle, parent)
    {
        ++constructed;
    }

    static int constructed;
};

int CountedCell::constructed = 0;

class TitleCreator : public SvAbstractCellCreator<CountedCell>
{
public:
    void updateCell(const QModelIndex &index, SvWidget *cell) const override
    {
        static_cast<SvDetailedListItem *>(cell)->setTitle(index.data().toString());
        filled.append(index.row());
    }

    mutable QList<int> filled;
};

const qreal CellHeight = 100;

using ModelChange = std::function<void(QStandardItemModel *)>;
// Points of a touch, in fractions of the touched cell's rectangle: (0.5, 1.5)
// is the middle of the cell below.
using Gesture = QList<QPointF>;

class tst_SvList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void followsRowChanges_data();
    void followsRowChanges();
    void dataChangedFillsAgain();
    void removedCellsAreReused();
    void clicks_data();
    void clicks();
    void modelDeletedClearsCells();

private:
    QStringList cellTitles() const;
    void settle();

    QStandardItemModel *m_model = nullptr;
    TitleCreator *m_creator = nullptr;
    SvList *m_list = nullptr;
};

void tst_SvList::init()
{
    m_model = new QStandardItemModel;
    for (const char *title : { "alpha", "beta", "gamma" })
        m_model->appendRow(new QStandardItem(QString::fromLatin1(title)));
    m_creator = new TitleCreator;
    m_creator->setCellSize(QSizeF(0, CellHeight));
    m_list = new SvList;
    m_list->setCellCreator(m_creator);
    m_list->setItemModel(m_model);
    CountedCell::constructed = 0;
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

void tst_SvList::followsRowChanges_data()
{
    QTest::addColumn<ModelChange>("change");
    QTest::addColumn<QStringList>("titles");

    const auto insert = [](int row) {
        return ModelChange([row](QStandardItemModel *model) {
            model->insertRow(row, new QStandardItem("new"));
        });
    };
    QTest::newRow("unchanged") << ModelChange([](QStandardItemModel *) {})
                               << QStringList { "alpha", "beta", "gamma" };
    QTest::newRow("insert at 0") << insert(0) << QStringList { "new", "alpha", "beta", "gamma" };
    QTest::newRow("insert in the middle")
            << insert(2) << QStringList { "alpha", "beta", "new", "gamma" };
    QTest::newRow("append") << insert(3) << QStringList { "alpha", "beta", "gamma", "new" };
    QTest::newRow("remove first") << ModelChange([](QStandardItemModel *model) {
        model->removeRow(0);
    }) << QStringList { "beta", "gamma" };
    QTest::newRow("remove two") << ModelChange([](QStandardItemModel *model) {
        model->removeRows(1, 2);
    }) << QStringList { "alpha" };
    QTest::newRow("reset to empty")
            << ModelChange([](QStandardItemModel *model) { model->clear(); }) << QStringList {};
    QTest::newRow("reset and refill") << ModelChange([](QStandardItemModel *model) {
        model->clear();
        model->appendRow(new QStandardItem("one"));
        model->appendRow(new QStandardItem("two"));
    }) << QStringList { "one", "two" };
    QTest::newRow("sorted") << ModelChange([](QStandardItemModel *model) {
        model->sort(0, Qt::DescendingOrder);
    }) << QStringList { "gamma", "beta", "alpha" };
}

void tst_SvList::followsRowChanges()
{
    QFETCH(ModelChange, change);
    QFETCH(QStringList, titles);

    change(m_model);
    QCOMPARE(cellTitles(), titles);
    // The cells stand in the rows' order, each as high as the creator asks.
    settle();
    for (int i = 0; i < m_list->cellCount(); ++i) {
        QCOMPARE(m_list->cellAt(i)->parentItem(), m_list);
        QVERIFY(m_list->cellAt(i)->isVisible());
        QCOMPARE(m_list->cellAt(i)->geometry(), QRectF(0, CellHeight * i, 400, CellHeight));
    }
}

void tst_SvList::dataChangedFillsAgain()
{
    m_model->item(2)->setText("GAMMA");
    QCOMPARE(m_creator->filled, QList<int> { 2 });
    QCOMPARE(cellTitles(), (QStringList { "alpha", "beta", "GAMMA" }));
}

void tst_SvList::removedCellsAreReused()
{
    QPointer<SvWidget> removed = m_list->cellAt(1);
    m_model->removeRow(1);
    QVERIFY(removed);
    QVERIFY(!removed->isVisible());

    m_model->insertRow(0, new QStandardItem("again"));
    QCOMPARE(CountedCell::constructed, 0);
    QCOMPARE(m_list->cellAt(0), removed.data());
    QVERIFY(m_list->cellAt(0)->isVisible());
    QCOMPARE(cellTitles(), (QStringList { "again", "alpha", "gamma" }));

    m_model->appendRow(new QStandardItem("fresh"));
    QCOMPARE(CountedCell::constructed, 1);
}

void tst_SvList::clicks_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<Gesture>("gesture");
    QTest::addColumn<QList<int>>("clickedRows");

    const QPointF middle(0.5, 0.5);
    QTest::newRow("first row") << 0 << Gesture { middle, middle } << QList<int> { 0 };
    QTest::newRow("last row") << 2 << Gesture { middle, middle } << QList<int> { 2 };
    QTest::newRow("release elsewhere inside")
            << 1 << Gesture { { 0.1, 0.1 }, { 0.9, 0.9 } } << QList<int> { 1 };
    QTest::newRow("released on another row")
            << 1 << Gesture { middle, { 0.5, 1.5 } } << QList<int> {};
    QTest::newRow("slide off and back")
            << 1 << Gesture { middle, { 0.5, 1.5 }, middle } << QList<int> {};
}

void tst_SvList::clicks()
{
    QFETCH(int, row);
    QFETCH(Gesture, gesture);
    QFETCH(QList<int>, clickedRows);

    QGraphicsScene scene;
    scene.addItem(m_list);
    const auto takeBack = qScopeGuard([&] { scene.removeItem(m_list); });
    settle();
    QGraphicsView view(&scene);
    view.resize(500, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QSignalSpy clickedSpy(m_list, &SvList::itemClicked);
    const QRectF cell = m_list->cellAt(row)->sceneBoundingRect();
    QList<QPoint> points;
    for (const QPointF &fraction : std::as_const(gesture))
        points.append(view.mapFromScene(
                cell.topLeft()
                + QPointF(fraction.x() * cell.width(), fraction.y() * cell.height())));
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, points.first());
    for (const QPoint &point : points.mid(1))
        QTest::mouseMove(view.viewport(), point);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, points.last());

    QList<int> rows;
    for (const QList<QVariant> &arguments : std::as_const(clickedSpy)) {
        const QModelIndex index = arguments.first().value<QModelIndex>();
        QCOMPARE(index.model(), m_model);
        rows.append(index.row());
    }
    QCOMPARE(rows, clickedRows);
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
