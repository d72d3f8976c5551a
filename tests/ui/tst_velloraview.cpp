#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

#include "aoainterfacecontentitemcreator.h"
#include "panelfixture.h"
#include "rowfield.h"
#include "storecatalog.h"
#include "svlabel.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svlist.h"
#include "svstylablewidget.h"
#include "tekumusicbuttonwidget.h"
#include "velloracontainer.h"
#include "velloracontentitemcreator.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"

using ItemList = QList<const QGraphicsLayoutItem *>;

namespace {

ItemList policyItems(const VelloraView &view)
{
    ItemList items;
    for (int i = 0; i < view.layoutPolicy()->count(); ++i)
        items << view.layoutPolicy()->itemAt(i);
    return items;
}

ItemList resultItems(const VelloraView &view)
{
    ItemList items;
    if (view.storeButton())
        items << view.storeButton();
    return items << view.container();
}

// Each named part of the view: "spacer", "spinner", "store-row", "container".
ItemList parts(const VelloraView &view, const QStringList &names)
{
    const QHash<QString, const QGraphicsLayoutItem *> byName {
        { QStringLiteral("spacer"), view.spacer() },
        { QStringLiteral("spinner"), view.spinner() },
        { QStringLiteral("store-row"), view.storeButton() },
        { QStringLiteral("container"), view.container() }
    };
    ItemList items;
    for (const QString &name : names)
        items << byName.value(name);
    return items;
}

// The items of a part's own layout, as class name and style name.
QStringList layoutItems(const SvWidget *part)
{
    const SvAbstractLayoutPolicy *policy = static_cast<SvLayout *>(part->layout())->policy();
    QStringList items;
    for (int i = 0; i < policy->count(); ++i) {
        const auto *widget =
                static_cast<const QGraphicsWidget *>(policy->itemAt(i)->graphicsItem());
        const auto *stylable = qobject_cast<const SvStylableWidget *>(widget);
        items << QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(':')
                        + (stylable ? stylable->styleName() : QString());
    }
    return items;
}

using CreatorCheck = std::function<bool(const SvCellCreator *)>;
template<typename Creator>
bool isA(const SvCellCreator *creator)
{
    return dynamic_cast<const Creator *>(creator) != nullptr;
}

using PartFactory = std::function<SvWidget *(SvWidget *parent)>;
// Takes the results out of a view that shows them, or brings them back.
using ViewAction = std::function<bool(VelloraView &view, PanelFixture &fixture)>;

QPoint centreOf(const QGraphicsView &graphicsView, const QGraphicsWidget *widget)
{
    return graphicsView.mapFromScene(widget->mapToScene(widget->rect().center()));
}

// The store row's touch area is its bottom part, below the spacers and the divider.
QPoint touchAreaOf(const QGraphicsView &graphicsView, const QGraphicsWidget *storeRow)
{
    const QRectF area = storeRow->rect();
    return graphicsView.mapFromScene(
            storeRow->mapToScene(QPointF(area.center().x(), area.bottom() - 8)));
}

} // namespace

Q_DECLARE_METATYPE(CreatorCheck)
Q_DECLARE_METATYPE(PartFactory)
Q_DECLARE_METATYPE(ViewAction)

class tst_VelloraView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void construction_data();
    void construction();
    void partLayouts_data();
    void partLayouts();
    void loadingThenResults_data();
    void loadingThenResults();
    void buttonWithoutRowsShowsNothing();
    void oneRowShowsThePanel_data();
    void oneRowShowsThePanel();
    void switchHoldsLatestDetails();
    void resultsWithdrawn_data();
    void resultsWithdrawn();
    void touchesOpenTheStore();

private:
    // Hands the view an artist and waits until its results are shown.
    bool showResults(VelloraView &view, const QString &artist = QStringLiteral("The Beatles"));

    PanelFixture m_fixture;
};

void tst_VelloraView::initTestCase()
{
    QVERIFY(m_fixture.start());
}

void tst_VelloraView::init()
{
    m_fixture.reset();
}

bool tst_VelloraView::showResults(VelloraView &view, const QString &artist)
{
    VelloraModel *model = view.container()->promotionModel();
    QSignalSpy buttonSpy(model, &VelloraModel::buttonVisibleChanged);
    view.setDetails(artist, QStringLiteral("album"), QStringLiteral("song"),
                    QStringLiteral("genre"));
    return buttonSpy.wait(10000) && buttonSpy.last().at(0).toBool()
            && policyItems(view) == resultItems(view);
}

void tst_VelloraView::construction_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<CreatorCheck>("isItsCreator");
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("storeRow");
    QTest::addColumn<bool>("spacer");
    const CreatorCheck contents = isA<VelloraContentItemCreator>;
    QTest::newRow("player") << ViewNames::Player << contents << "qtn_musi_vellora" << true << true;
    QTest::newRow("album") << ViewNames::Album << contents << "qtn_musi_vellora" << true << false;
    QTest::newRow("artist") << ViewNames::Artist
                            << CreatorCheck(isA<AOAInterfaceContentItemCreator>)
                            << "qtn_musi_vellora_artists" << true << false;
    QTest::newRow("genre") << ViewNames::Genre << contents << "qtn_musi_vellora" << false << false;
}

void tst_VelloraView::construction()
{
    QFETCH(QString, viewName);
    QFETCH(CreatorCheck, isItsCreator);
    QFETCH(QString, header);
    QFETCH(bool, storeRow);
    QFETCH(bool, spacer);

    VelloraView view(viewName);
    QCOMPARE(view.layoutPolicy()->count(), 0);
    QCOMPARE(view.maximumWidth(), 480.0);
    QVERIFY(!view.container()->isVisible());
    QVERIFY(!view.spinner()->isVisible());
    QCOMPARE(view.spinner()->text(), view.container()->promotionModel()->loadingText());
    QCOMPARE(view.storeButton() != nullptr, storeRow);
    QVERIFY(!view.storeButton() || !view.storeButton()->isVisible());
    QCOMPARE(view.spacer() != nullptr, spacer);

    const SvList *list = view.container()->list();
    QCOMPARE(list->itemModel(), view.container()->promotionModel());
    QVERIFY(isItsCreator(list->cellCreator()));
    QCOMPARE(view.container()->header()->text(), qtTrId(header.toLatin1().constData()));

    view.container()->promotionModel()->setLoadingText(
            QStringLiteral("qtn_musi_fetching_no_matches"));
    QCOMPARE(view.spinner()->text(), QStringLiteral("qtn_musi_fetching_no_matches"));
}

void tst_VelloraView::partLayouts_data()
{
    QTest::addColumn<PartFactory>("make");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QSizePolicy::Policy>("sizePolicy");
    QTest::newRow("spinner") << PartFactory(
            [](SvWidget *parent) { return new VelloraSpinner(parent); })
                             << QStringList { "SvStylableWidget:CommonLargeSpacer",
                                              "SvSeparator:CommonItemDividerInverted",
                                              "SvWidgetController:CommonSmallPanelInverted" }
                             << QSizePolicy::Ignored;
    QTest::newRow("store-row") << PartFactory(
            [](SvWidget *parent) { return new TekuMusicButtonWidget(parent); })
                               << QStringList { "SvStylableWidget:CommonLargeSpacer",
                                                "SvSeparator:CommonItemDividerInverted",
                                                "SvStylableWidget:CommonSpacer",
                                                "SvListItem:CommonSmallPanelInverted" }
                               << QSizePolicy::Preferred;
    QTest::newRow("container") << PartFactory(
            [](SvWidget *parent) { return new VelloraContainer(ViewNames::Album, parent); })
                               << QStringList { "SvWidget:", "SvList:" } << QSizePolicy::Expanding;
    QTest::newRow("container-header")
            << PartFactory([](SvWidget *parent) {
                   const auto *container = new VelloraContainer(ViewNames::Album, parent);
                   return static_cast<SvWidget *>(container->header()->parentWidget());
               })
            << QStringList { "SvSeparator:CommonGroupHeaderDividerInverted",
                             "SvLabel:CommonGroupHeaderInverted" }
            << QSizePolicy::Preferred;
}

void tst_VelloraView::partLayouts()
{
    QFETCH(PartFactory, make);
    QFETCH(QStringList, items);
    QFETCH(QSizePolicy::Policy, sizePolicy);
    SvWidget parent;
    const SvWidget *part = make(&parent);
    QCOMPARE(layoutItems(part), items);
    QCOMPARE(part->sizePolicy().horizontalPolicy(), sizePolicy);
    QCOMPARE(part->sizePolicy().verticalPolicy(), sizePolicy);
}

void tst_VelloraView::loadingThenResults_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<QStringList>("loadingParts");
    QTest::addColumn<QStringList>("resultParts");
    const QStringList withStoreRow { "store-row", "container" };
    QTest::newRow("player") << ViewNames::Player << QStringList { "spacer", "spinner" }
                            << withStoreRow;
    QTest::newRow("album") << ViewNames::Album << QStringList { "spinner" } << withStoreRow;
    QTest::newRow("artist") << ViewNames::Artist << QStringList { "spinner" } << withStoreRow;
    QTest::newRow("genre") << ViewNames::Genre << QStringList { "spinner" }
                           << QStringList { "container" };
}

void tst_VelloraView::loadingThenResults()
{
    QFETCH(QString, viewName);
    QFETCH(QStringList, loadingParts);
    QFETCH(QStringList, resultParts);
    VelloraView view(viewName);
    VelloraModel *model = view.container()->promotionModel();

    // Taken right after the view has followed the signal, before any later event.
    ItemList whileLoading;
    bool spinnerShown = false;
    connect(model, &VelloraModel::loadingChanged, this, [&](bool loading) {
        if (loading && whileLoading.isEmpty()) {
            whileLoading = policyItems(view);
            spinnerShown = view.spinner()->isVisible();
        }
    });

    QVERIFY(showResults(view));
    QCOMPARE(whileLoading, parts(view, loadingParts));
    QVERIFY(spinnerShown);
    QVERIFY(!view.spinner()->isVisible());
    QVERIFY(view.container()->isVisible());

    // Told again that the rows are there, it adds nothing twice.
    emit model->buttonVisibleChanged(true);
    QCOMPARE(policyItems(view), parts(view, resultParts));

    PanelFixture::layOut(&view);
    QCOMPARE(view.size().width(), 480.0);
}

void tst_VelloraView::buttonWithoutRowsShowsNothing()
{
    VelloraView view(ViewNames::Album);
    emit view.container()->promotionModel()->buttonVisibleChanged(true);
    QCOMPARE(view.layoutPolicy()->count(), 0);
    QVERIFY(!view.storeButton()->isVisible());
    QVERIFY(!view.container()->isVisible());
}

void tst_VelloraView::oneRowShowsThePanel_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::newRow("player") << ViewNames::Player;
    QTest::newRow("album") << ViewNames::Album;
    QTest::newRow("artist") << ViewNames::Artist;
}

// A store that knows one similar item: the panel shows its one row.
void tst_VelloraView::oneRowShowsThePanel()
{
    QFETCH(QString, viewName);
    QString error;
    QVERIFY2(m_fixture.store().loadCatalog(PanelFixture::writeOneAlbumCatalog(1), &error),
             qPrintable(error));
    const auto restoreCatalog =
            qScopeGuard([this] { m_fixture.store().loadCatalog(StoreCatalog::builtInFileName()); });
    VelloraView view(viewName);
    QVERIFY(showResults(view, QStringLiteral("Shared Seed")));
    QCOMPARE(view.container()->promotionModel()->rowCount(), 1);
    QVERIFY(view.container()->isVisible());
}

void tst_VelloraView::switchHoldsLatestDetails()
{
    VelloraView view(ViewNames::Album);
    VelloraModel *model = view.container()->promotionModel();
    QVERIFY(m_fixture.setFeatureSwitch(false));

    view.setDetails(QStringLiteral("The National"), QString(), QString(), QString());
    view.setDetails(QStringLiteral("The Beatles"), QStringLiteral("album"), QString(), QString());
    QVERIFY(m_fixture.drainNetworkQueue());
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The National")), 0);
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The Beatles")), 0);
    QCOMPARE(view.layoutPolicy()->count(), 0);

    QSignalSpy buttonSpy(model, &VelloraModel::buttonVisibleChanged);
    QVERIFY(m_fixture.setFeatureSwitch(true));
    QVERIFY(buttonSpy.wait(10000));
    QCOMPARE(policyItems(view), resultItems(view));
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The Beatles")), 1);
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The National")), 0);
    QCOMPARE(m_fixture.store().requestCount(StoreRequest::Kind::SimilarAlbums), 1);

    // Held details of the artist shown: the model is emptied and fills again.
    QVERIFY(m_fixture.setFeatureSwitch(false));
    view.setDetails(QStringLiteral("The Beatles"), QStringLiteral("album"), QString(), QString());
    QVERIFY(m_fixture.setFeatureSwitch(true));
    QVERIFY(buttonSpy.wait(10000));
    QCOMPARE(policyItems(view), resultItems(view));
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The Beatles")), 1);
}

void tst_VelloraView::resultsWithdrawn_data()
{
    QTest::addColumn<ViewAction>("withdraw");
    QTest::addColumn<ViewAction>("restore");
    const auto buttonVisible = [](bool visible) {
        return ViewAction([visible](VelloraView &view, PanelFixture &) {
            emit view.container()->promotionModel()->buttonVisibleChanged(visible);
            return true;
        });
    };
    const auto viewVisible = [](bool visible) {
        return ViewAction([visible](VelloraView &view, PanelFixture &) {
            view.setVisible(visible);
            return true;
        });
    };
    const auto featureSwitch = [](bool enabled) {
        return ViewAction([enabled](VelloraView &, PanelFixture &fixture) {
            return fixture.setFeatureSwitch(enabled);
        });
    };
    QTest::newRow("model-hides-button") << buttonVisible(false) << buttonVisible(true);
    QTest::newRow("view-hidden") << viewVisible(false) << viewVisible(true);
    QTest::newRow("switch-off") << featureSwitch(false) << featureSwitch(true);
}

void tst_VelloraView::resultsWithdrawn()
{
    QFETCH(ViewAction, withdraw);
    QFETCH(ViewAction, restore);
    VelloraView view(ViewNames::Player);
    QVERIFY(showResults(view));

    QVERIFY(withdraw(view, m_fixture));
    QTRY_COMPARE(view.layoutPolicy()->count(), 0);
    QVERIFY(!view.storeButton()->isVisibleTo(&view));
    QVERIFY(!view.container()->isVisibleTo(&view));

    // The same rows come back without a fetch.
    QVERIFY(restore(view, m_fixture));
    QTRY_COMPARE(policyItems(view), resultItems(view));
    QVERIFY(view.storeButton()->isVisibleTo(&view));
    QVERIFY(view.container()->isVisibleTo(&view));
    QVERIFY(m_fixture.drainNetworkQueue());
    QCOMPARE(m_fixture.store().requestCount(StoreRequest::Kind::SimilarTracks), 1);
}

void tst_VelloraView::touchesOpenTheStore()
{
    QGraphicsScene scene;
    auto *view = new VelloraView(ViewNames::Player);
    scene.addItem(view);
    QVERIFY(showResults(*view));
    PanelFixture::layOut(view);

    QGraphicsView graphicsView(&scene);
    graphicsView.setSceneRect(QRectF(QPointF(0, 0), view->size()));
    graphicsView.resize(view->size().toSize() + QSize(4, 4));
    graphicsView.show();
    QVERIFY(QTest::qWaitForWindowExposed(&graphicsView));

    const SvList *list = view->container()->list();
    QCOMPARE(list->cellCount(), 4);
    const VelloraModel *model = view->container()->promotionModel();
    const QModelIndex second = model->index(1, 0);
    const QString title = second.data(RowField::role(RowField::Title)).toString();
    const QString storeId = second.data(RowField::role(RowField::StoreId)).toString();
    const QString trackArtist = second.data(RowField::role(RowField::TrackArtist)).toString();
    QTest::mouseClick(graphicsView.viewport(), Qt::LeftButton, {},
                      centreOf(graphicsView, list->cellAt(1)));
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0),
             QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/%1/%2/%3")
                     .arg(trackArtist, title, storeId));

    // The store row follows on the same bus connection, so a second link from
    // the row would have arrived before it.
    QTest::mouseClick(graphicsView.viewport(), Qt::LeftButton, {},
                      touchAreaOf(graphicsView, view->storeButton()));
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 2);
    QVERIFY2(m_fixture.storeClient().links().at(1).startsWith(
                     QStringLiteral("#Artist/SolvaneSonavoNowPlayingViewVellora/The Beatles/")),
             qPrintable(m_fixture.storeClient().links().at(1)));
}

QTEST_MAIN(tst_VelloraView)
#include "tst_velloraview.moc"
