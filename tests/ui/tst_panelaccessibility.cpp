#include <QAccessible>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <memory>

#include "panelfixture.h"
#include "rowfield.h"
#include "spokenrow.h"
#include "svlist.h"
#include "svlistitem.h"
#include "svlocale.h"
#include "testfiles.h"
#include "tekumusicbuttonwidget.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"
#include "viewtraits.h"

namespace {

struct Received
{
    QAccessible::Event type;
    QObject *object;
    QString name;
};

QList<Received> received;

void recordEvent(QAccessibleEvent *event)
{
    QAccessibleInterface *iface = event->accessibleInterface();
    received.append(
            { event->type(), event->object(), iface ? iface->text(QAccessible::Name) : QString() });
}

// The subtree as a screen reader walks it: one line per object, its role,
// name and actions, indented by depth. A child that does not name this
// object as its parent, or is not found at its own index, is marked.
QString dump(QAccessibleInterface *node, int depth = 0)
{
    const QMetaEnum roles = QMetaEnum::fromType<QAccessible::Role>();
    QString line = QString(depth * 2, QLatin1Char(' '))
            + QLatin1String(roles.valueToKey(node->role())) + QLatin1String(" \"")
            + node->text(QAccessible::Name) + QLatin1Char('"');
    if (QAccessibleActionInterface *actions = node->actionInterface())
        line += QLatin1String(" [") + actions->actionNames().join(QLatin1String(", ")) + ']';
    QString text = line + QLatin1Char('\n');
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        if (!child)
            return text + QStringLiteral("! no child %1\n").arg(i);
        if (!child->parent() || child->parent()->object() != node->object())
            text += QStringLiteral("! child %1 names another parent\n").arg(i);
        if (node->indexOfChild(child) != i)
            text += QStringLiteral("! child %1 found at %2\n")
                            .arg(i)
                            .arg(node->indexOfChild(child));
        text += dump(child, depth + 1);
    }
    return text;
}

QString expectedTree(const QString &name)
{
    return QString::fromUtf8(
            TestFiles::read(QStringLiteral(TEST_DATA "/accessible-%1.tree").arg(name)));
}

// The deep link a touch on the row sends, as the model builds it.
QString rowLink(const QString &viewName, const QModelIndex &index)
{
    const ViewTraits &traits = ViewTraits::of(viewName);
    QString link = traits.rowLink + index.data(RowField::role(traits.rowLinkFirst)).toString()
            + QLatin1Char('/');
    if (traits.rowLinkSecond != RowField::None)
        link += index.data(RowField::role(traits.rowLinkSecond)).toString();
    return link + QLatin1Char('/') + index.data(RowField::role(RowField::StoreId)).toString();
}

// The touchable row inside the store row.
void addViewsWithStoreRow()
{
    QTest::addColumn<QString>("viewName");
    QTest::newRow("player") << ViewNames::Player;
    QTest::newRow("album") << ViewNames::Album;
    QTest::newRow("artist") << ViewNames::Artist;
}

SvListItem *storeRowItem(const VelloraView *view)
{
    const QList<QGraphicsItem *> parts = view->storeButton()->childItems();
    for (QGraphicsItem *part : parts) {
        if (auto *item = qobject_cast<SvListItem *>(part->toGraphicsObject()))
            return item;
    }
    return nullptr;
}

} // namespace

class tst_PanelAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void spokenRows_data();
    void spokenRows();
    void panelTree_data();
    void panelTree();
    void loadingThenNoMatches();
    void trackChangeAnnounced();
    void pressActionSendsTheTouchLink_data();
    void pressActionSendsTheTouchLink();
    void keyboard();

private:
    // A panel of the view in a shown window, with the artist's rows.
    bool showPanel(const QString &viewName, const QString &artist);
    QAccessibleInterface *panelInterface() const;

    PanelFixture m_fixture;
    std::unique_ptr<QGraphicsScene> m_scene;
    std::unique_ptr<QGraphicsView> m_window;
    VelloraView *m_view = nullptr;
};

void tst_PanelAccessibility::initTestCase()
{
    QVERIFY(m_fixture.start());
    SvLocale locale(QStringLiteral("en"));
    locale.installTrCatalog(QStringLiteral("teku-music-store"));
    SvLocale::setDefault(locale);
    // What a screen reader's arrival does to the platform; the test's
    // platform has no bus to hear of one on.
    QPlatformAccessibility *accessibility =
            QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(accessibility);
    accessibility->setActive(true);
    QAccessible::installUpdateHandler(recordEvent);
}

void tst_PanelAccessibility::init()
{
    m_fixture.reset();
    m_scene = std::make_unique<QGraphicsScene>();
    m_window = std::make_unique<QGraphicsView>(m_scene.get());
    received.clear();
}

void tst_PanelAccessibility::cleanup()
{
    m_window.reset();
    m_scene.reset();
    m_view = nullptr;
}

bool tst_PanelAccessibility::showPanel(const QString &viewName, const QString &artist)
{
    m_view = new VelloraView(viewName);
    m_scene->addItem(m_view);
    QSignalSpy shown(m_view->container()->promotionModel(), &VelloraModel::buttonVisibleChanged);
    m_view->setDetails(artist, QStringLiteral("album"), QStringLiteral("song"),
                       QStringLiteral("genre"));
    if (!shown.wait(10000) || !shown.last().at(0).toBool())
        return false;
    PanelFixture::layOut(m_view);
    m_window->setSceneRect(QRectF(QPointF(0, 0), m_view->size()));
    m_window->resize(m_view->size().toSize() + QSize(4, 4));
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get());
}

QAccessibleInterface *tst_PanelAccessibility::panelInterface() const
{
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(m_window.get());
    return window && window->childCount() == 1 ? window->child(0) : nullptr;
}

void tst_PanelAccessibility::spokenRows_data()
{
    QTest::addColumn<StoreQueries::Similar>("kind");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QString>("spoken");
    const QHash<QString, StoreQueries::Similar> kinds {
        { QStringLiteral("tracks"), StoreQueries::Similar::Tracks },
        { QStringLiteral("albums"), StoreQueries::Similar::Albums },
        { QStringLiteral("artists"), StoreQueries::Similar::Artists }
    };
    for (const TestFiles::TableRow &fields :
         TestFiles::table(QStringLiteral(TEST_DATA "/spoken-rows.tsv"))) {
        QVERIFY2(kinds.contains(fields["kind"]), qPrintable(fields["kind"]));
        QTest::addRow("%s-%s", qPrintable(fields["kind"]), qPrintable(fields["title"]))
                << kinds.value(fields["kind"])
                << QStringList { fields["title"], fields["subtitle"], fields["side"] }
                << fields["spoken"];
    }
}

void tst_PanelAccessibility::spokenRows()
{
    QFETCH(StoreQueries::Similar, kind);
    QFETCH(QStringList, row);
    QFETCH(QString, spoken);
    QCOMPARE(SpokenRow::text(row, kind), spoken);
}

void tst_PanelAccessibility::panelTree_data()
{
    addViewsWithStoreRow();
    QTest::newRow("genre") << ViewNames::Genre;
}

void tst_PanelAccessibility::panelTree()
{
    QFETCH(QString, viewName);
    QVERIFY(showPanel(viewName, QStringLiteral("The Beatles")));

    QAccessibleInterface *panel = panelInterface();
    QVERIFY(panel);
    QCOMPARE(panel->object(), m_view);
    const QString tree = dump(panel);
    QCOMPARE(tree, expectedTree(QString::fromLatin1(QTest::currentDataTag())));

    // Every object a screen reader is shown lies where the panel draws it.
    const QRect window = QAccessible::queryAccessibleInterface(m_window.get())->rect();
    QAccessibleInterface *list = panel->child(panel->childCount() - 1);
    QCOMPARE(list->role(), QAccessible::List);
    for (int i = 0; i < list->childCount(); ++i) {
        const QRect row = list->child(i)->rect();
        QVERIFY2(!row.isEmpty() && window.contains(row), qPrintable(QString::number(i)));
        QCOMPARE(panel->childAt(row.center().x(), row.center().y())->object(), list->object());
    }
}

void tst_PanelAccessibility::loadingThenNoMatches()
{
    m_fixture.store().addFault(StoreFault(StoreFault::Kind::Hold, QStringLiteral("/artists/")));
    m_view = new VelloraView(ViewNames::Player);
    m_scene->addItem(m_view);
    m_view->container()->promotionModel()->setFailureDelay(60000);
    m_view->setDetails(QStringLiteral("Nobody Anyone Knows"), QString(), QString(), QString());
    QTRY_VERIFY(m_view->spinner()->isVisible());
    QTRY_COMPARE(m_fixture.store().heldCount(), 1);

    QAccessibleInterface *panel = QAccessible::queryAccessibleInterface(m_view);
    QCOMPARE(dump(panel), expectedTree(QStringLiteral("loading")));

    received.clear();
    m_fixture.store().releaseHeld();
    QTRY_COMPARE(m_view->spinner()->text(), QStringLiteral("No matches found"));
    QCOMPARE(dump(panel), expectedTree(QStringLiteral("no-matches")));
    // The row nobody has focused on says its news itself.
    const auto alert = std::find_if(received.cbegin(), received.cend(),
                                    [](const Received &e) { return e.type == QAccessible::Alert; });
    QVERIFY(alert != received.cend());
    QCOMPARE(alert->object, m_view->spinner());
    QCOMPARE(alert->name, QStringLiteral("No matches found"));
    // Its new name is told as well, to whoever reads it later.
    QVERIFY(std::any_of(received.cbegin(), received.cend(), [this](const Received &e) {
        return e.type == QAccessible::NameChanged && e.object == m_view->spinner()
                && e.name == QStringLiteral("No matches found");
    }));
}

void tst_PanelAccessibility::trackChangeAnnounced()
{
    QVERIFY(showPanel(ViewNames::Player, QStringLiteral("The Beatles")));
    SvList *list = m_view->container()->list();
    QSet<QObject *> oldRows = { list->cellAt(0), list->cellAt(1), list->cellAt(2),
                                list->cellAt(3) };
    received.clear();

    VelloraModel *model = m_view->container()->promotionModel();
    const QString before = model->index(0, 0).data(Qt::AccessibleTextRole).toString();
    m_view->setDetails(QStringLiteral("AC/DC"), QString(), QString(), QString());
    QTRY_VERIFY(model->rowCount() == 4
                && model->index(0, 0).data(Qt::AccessibleTextRole).toString() != before);

    QAccessibleInterface *listInterface = QAccessible::queryAccessibleInterface(list);
    QCOMPARE(listInterface->childCount(), model->rowCount());
    // A row goes when the rows are cleared and comes back refilled: what
    // assistive technology hears of each is that order.
    QHash<QObject *, QList<QAccessible::Event>> showing;
    for (const Received &event : std::as_const(received)) {
        if (event.type == QAccessible::ObjectHide || event.type == QAccessible::ObjectShow)
            showing[event.object].append(event.type);
    }
    QSet<QObject *> current;
    for (int i = 0; i < model->rowCount(); ++i) {
        QAccessibleInterface *row = listInterface->child(i);
        current.insert(row->object());
        QCOMPARE(row->text(QAccessible::Name),
                 model->index(i, 0).data(Qt::AccessibleTextRole).toString());
        QCOMPARE(showing.value(row->object()).constLast(), QAccessible::ObjectShow);
    }
    for (QObject *old : std::as_const(oldRows)) {
        const QList<QAccessible::Event> expected = current.contains(old)
                ? QList<QAccessible::Event> { QAccessible::ObjectHide, QAccessible::ObjectShow }
                : QList<QAccessible::Event> { QAccessible::ObjectHide };
        QCOMPARE(showing.value(old), expected);
    }
}

void tst_PanelAccessibility::pressActionSendsTheTouchLink_data()
{
    addViewsWithStoreRow();
}

void tst_PanelAccessibility::pressActionSendsTheTouchLink()
{
    QFETCH(QString, viewName);
    QVERIFY(showPanel(viewName, QStringLiteral("The Beatles")));
    const SvList *list = m_view->container()->list();
    const QModelIndex second = m_view->container()->promotionModel()->index(1, 0);

    QAccessibleInterface *row = QAccessible::queryAccessibleInterface(list->cellAt(1));
    row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0), rowLink(viewName, second));

    QAccessibleInterface *more = QAccessible::queryAccessibleInterface(storeRowItem(m_view));
    QVERIFY(more);
    QCOMPARE(more->role(), QAccessible::Link);
    more->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 2);
    QVERIFY2(m_fixture.storeClient().links().at(1).startsWith(ViewTraits::of(viewName).moreLink
                                                              + QStringLiteral("The Beatles/")),
             qPrintable(m_fixture.storeClient().links().at(1)));
}

void tst_PanelAccessibility::keyboard()
{
    QVERIFY(showPanel(ViewNames::Player, QStringLiteral("The Beatles")));
    const SvList *list = m_view->container()->list();
    SvListItem *more = storeRowItem(m_view);
    const auto row = [list](int i) { return qobject_cast<SvListItem *>(list->cellAt(i)); };
    const QModelIndex last = m_view->container()->promotionModel()->index(3, 0);
    const QModelIndex second = m_view->container()->promotionModel()->index(1, 0);

    // Tab into the window reaches the panel's first row, the store row.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    received.clear();
    m_window->clearFocus();
    m_window->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(m_scene->focusItem(), more);
    QVERIFY(std::any_of(received.cbegin(), received.cend(), [more](const Received &e) {
        return e.type == QAccessible::Focus && e.object == more;
    }));

    // The focus frame is drawn in the theme's colour along the row's edge.
    const QColor frame = more->themeStyle().focusFrameColor;
    QVERIFY(frame.isValid());
    const QPoint corner = m_window->mapFromScene(more->mapToScene(QPointF(1, 1)));
    QCOMPARE(m_window->viewport()->grab().toImage().pixelColor(corner), frame);

    const struct
    {
        Qt::Key key;
        QGraphicsItem *focused;
    } moves[] = { { Qt::Key_Up, more },    { Qt::Key_Down, row(0) }, { Qt::Key_Down, row(1) },
                  { Qt::Key_End, row(3) }, { Qt::Key_Down, row(3) }, { Qt::Key_Home, more },
                  { Qt::Key_Down, row(0) } };
    for (const auto &move : moves) {
        QTest::keyClick(m_window.get(), move.key);
        QCOMPARE(m_scene->focusItem(), move.focused);
    }
    QCOMPARE(m_window->viewport()->grab().toImage().pixelColor(corner) == frame, false);

    QTest::keyClick(m_window.get(), Qt::Key_Down);
    QTest::keyClick(m_window.get(), Qt::Key_Return);
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0), rowLink(ViewNames::Player, second));

    QTest::keyClick(m_window.get(), Qt::Key_End);
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 2);
    QCOMPARE(m_fixture.storeClient().links().at(1), rowLink(ViewNames::Player, last));

    QTest::keyClick(m_window.get(), Qt::Key_Home);
    QTest::keyClick(m_window.get(), Qt::Key_Enter);
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 3);
    QVERIFY(m_fixture.storeClient().links().at(2).startsWith(
            ViewTraits::of(ViewNames::Player).moreLink));
}

QTEST_MAIN(tst_PanelAccessibility)
#include "tst_panelaccessibility.moc"
