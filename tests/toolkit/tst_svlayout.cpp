#include <QApplication>
#include <QPointer>
#include <QTest>

#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svwidget.h"

namespace {

SvWidget *fixedItem(qreal width, qreal height, QGraphicsItem *parent = nullptr)
{
    auto *item = new SvWidget(parent);
    item->setMinimumSize(width, height);
    item->setPreferredSize(width, height);
    item->setMaximumSize(width, height);
    item->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return item;
}

void settle(QGraphicsWidget *widget, const QSizeF &size)
{
    widget->resize(size);
    QCoreApplication::sendPostedEvents();
    widget->layout()->activate();
}

// Insertions, each of one item (by number) at an index.
using Insertions = QList<QPair<int, int>>;

} // namespace

class tst_SvLayout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void insertionIndices_data();
    void insertionIndices();
    void removedItemIsNotDeleted();
    void itemWithoutParentJoinsTheWidget();
    void deletedItemLeavesThePolicy();
    void deletedLayoutLeavesItsWidgets();
    void verticalPlacement();
    void alignment_data();
    void alignment();
    void horizontalSpareRoomGoesToExpandingItem();
    void missingRoomIsTakenFromShrinkingItem();
    void hiddenItemTakesNoRoom();

private:
    SvWidget *m_widget = nullptr;
    SvLayout *m_layout = nullptr;
    SvLinearLayoutPolicy *m_policy = nullptr;
};

void tst_SvLayout::init()
{
    m_widget = new SvWidget;
    m_layout = new SvLayout(m_widget);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_policy = new SvLinearLayoutPolicy(m_layout, Qt::Vertical);
    m_policy->setContentsMargins(0, 0, 0, 0);
    m_policy->setSpacing(0);
}

void tst_SvLayout::cleanup()
{
    delete m_widget;
}

void tst_SvLayout::insertionIndices_data()
{
    QTest::addColumn<Insertions>("insertions");
    QTest::addColumn<QList<int>>("order");

    QTest::newRow("in turn") << Insertions { { 0, 0 }, { 1, 1 }, { 2, 2 } }
                             << QList<int> { 0, 1, 2 };
    QTest::newRow("at 0 goes first")
            << Insertions { { 0, 0 }, { 1, 1 }, { 0, 2 } } << QList<int> { 2, 0, 1 };
    QTest::newRow("at 1") << Insertions { { 0, 0 }, { 1, 1 }, { 1, 2 } } << QList<int> { 0, 2, 1 };
    QTest::newRow("past the end appends")
            << Insertions { { 0, 0 }, { 7, 1 } } << QList<int> { 0, 1 };
    QTest::newRow("negative appends") << Insertions { { 0, 0 }, { -1, 1 } } << QList<int> { 0, 1 };
    QTest::newRow("again moves the item")
            << Insertions { { 0, 0 }, { 1, 1 }, { 0, 1 } } << QList<int> { 1, 0 };
}

void tst_SvLayout::insertionIndices()
{
    QFETCH(Insertions, insertions);
    QFETCH(QList<int>, order);

    QList<SvWidget *> items;
    for (int i = 0; i < 3; ++i)
        items.append(fixedItem(10, 10, m_widget));
    for (const auto &insertion : std::as_const(insertions))
        m_policy->insertItem(insertion.first, items.at(insertion.second), Qt::AlignLeft);

    QCOMPARE(m_policy->count(), order.size());
    QCOMPARE(m_layout->count(), order.size());
    QList<int> indices;
    for (SvWidget *item : std::as_const(items))
        indices.append(m_policy->indexOf(item));
    for (int i = 0; i < order.size(); ++i) {
        QCOMPARE(m_policy->itemAt(i), items.at(order.at(i)));
        QCOMPARE(indices.at(order.at(i)), i);
    }
    QCOMPARE(indices.count(-1), items.size() - order.size());
}

void tst_SvLayout::removedItemIsNotDeleted()
{
    QPointer<SvWidget> first = fixedItem(10, 10, m_widget);
    SvWidget *second = fixedItem(10, 10, m_widget);
    m_policy->addItem(first);
    m_policy->addItem(second);

    m_policy->removeItem(first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(first);
    QCOMPARE(first->parentItem(), m_widget);
    QCOMPARE(first->parentLayoutItem(), nullptr);
    QCOMPARE(m_policy->indexOf(first), -1);
    QCOMPARE(m_policy->indexOf(second), 0);

    // Removing an absent item changes nothing.
    m_policy->removeItem(first);
    QCOMPARE(m_policy->count(), 1);
}

void tst_SvLayout::itemWithoutParentJoinsTheWidget()
{
    SvWidget *orphan = fixedItem(10, 10);
    m_policy->insertItem(0, orphan, Qt::AlignLeft);
    QCOMPARE(orphan->parentItem(), m_widget);
}

void tst_SvLayout::deletedItemLeavesThePolicy()
{
    SvWidget *a = fixedItem(10, 10, m_widget);
    SvWidget *b = fixedItem(10, 10, m_widget);
    m_policy->addItem(a);
    m_policy->addItem(b);
    delete a;
    QCOMPARE(m_policy->count(), 1);
    QCOMPARE(m_policy->itemAt(0), b);
}

// Widgets belong to their parent widget, not to the layout that places them.
void tst_SvLayout::deletedLayoutLeavesItsWidgets()
{
    QPointer<SvWidget> item = fixedItem(10, 10, m_widget);
    m_policy->addItem(item);
    m_widget->setLayout(nullptr);
    m_layout = nullptr;
    QVERIFY(item);
    QCOMPARE(item->parentItem(), m_widget);
    QCOMPARE(item->parentLayoutItem(), nullptr);
}

void tst_SvLayout::verticalPlacement()
{
    m_layout->setContentsMargins(1, 2, 3, 4);
    m_policy->setContentsMargins(10, 20, 30, 40);
    m_policy->setSpacing(5);
    SvWidget *a = fixedItem(50, 10, m_widget);
    SvWidget *b = fixedItem(50, 30, m_widget);
    m_policy->addItem(a, Qt::AlignLeft);
    m_policy->addItem(b, Qt::AlignLeft);

    const QSizeF preferred = m_widget->effectiveSizeHint(Qt::PreferredSize);
    QCOMPARE(preferred, QSizeF(1 + 10 + 50 + 30 + 3, 2 + 20 + 10 + 5 + 30 + 40 + 4));

    settle(m_widget, QSizeF(200, 200));
    QCOMPARE(a->geometry(), QRectF(11, 22, 50, 10));
    QCOMPARE(b->geometry(), QRectF(11, 37, 50, 30));
}

void tst_SvLayout::alignment_data()
{
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QPointF>("position");

    QTest::newRow("left") << int(Qt::AlignLeft) << QPointF(0, 0);
    QTest::newRow("hcenter") << int(Qt::AlignHCenter) << QPointF(75, 0);
    QTest::newRow("right") << int(Qt::AlignRight) << QPointF(150, 0);
}

void tst_SvLayout::alignment()
{
    QFETCH(int, alignment);
    QFETCH(QPointF, position);

    // An expanding item held at its maximum width, like the panel.
    auto *item = new SvWidget(m_widget);
    item->setPreferredSize(20, 10);
    item->setMaximumWidth(50);
    item->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_policy->insertItem(0, item, Qt::Alignment(alignment));
    settle(m_widget, QSizeF(200, 100));
    QCOMPARE(item->geometry(), QRectF(position, QSizeF(50, 10)));
}

void tst_SvLayout::horizontalSpareRoomGoesToExpandingItem()
{
    m_policy->setOrientation(Qt::Horizontal);
    SvWidget *fixed = fixedItem(40, 20, m_widget);
    auto *expanding = new SvWidget(m_widget);
    expanding->setPreferredSize(10, 20);
    expanding->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_policy->addItem(expanding);
    m_policy->addItem(fixed, Qt::AlignRight | Qt::AlignVCenter);
    settle(m_widget, QSizeF(300, 60));
    QCOMPARE(expanding->geometry(), QRectF(0, 20, 260, 20));
    QCOMPARE(fixed->geometry(), QRectF(260, 20, 40, 20));
}

void tst_SvLayout::missingRoomIsTakenFromShrinkingItem()
{
    m_policy->setOrientation(Qt::Horizontal);
    auto *shrinking = new SvWidget(m_widget);
    shrinking->setMinimumSize(50, 20);
    shrinking->setPreferredSize(200, 20);
    shrinking->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    SvWidget *fixed = fixedItem(40, 20, m_widget);
    m_policy->addItem(shrinking);
    m_policy->addItem(fixed);
    settle(m_widget, QSizeF(150, 20));
    QCOMPARE(shrinking->geometry().width(), 110.0);
    QCOMPARE(fixed->geometry(), QRectF(110, 0, 40, 20));
}

void tst_SvLayout::hiddenItemTakesNoRoom()
{
    SvWidget *a = fixedItem(50, 10, m_widget);
    SvWidget *b = fixedItem(50, 10, m_widget);
    m_policy->addItem(a, Qt::AlignLeft);
    m_policy->addItem(b, Qt::AlignLeft);
    a->hide();
    settle(m_widget, QSizeF(100, 100));
    QCOMPARE(b->geometry().top(), 0.0);
    a->show();
    settle(m_widget, QSizeF(100, 100));
    QCOMPARE(b->geometry().top(), 10.0);
}

QTEST_MAIN(tst_SvLayout)
#include "tst_svlayout.moc"
