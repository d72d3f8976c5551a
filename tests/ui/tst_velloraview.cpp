#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "aoainterfacecontentitemcreator.h"
#include "panelfixture.h"
#include "svlabel.h"
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

QPoint centreOf(const QGraphicsView &graphicsView, const QGraphicsWidget *widget)
{
    return graphicsView.mapFromScene(widget->mapToScene(widget->rect().center()));
}

// The store row's touch area is its bottom part, below the spacers and the divider.
QPoint touchAreaOf(const QGraphicsView &graphicsView, const QGraphicsWidget *storeRow)
{
    const QRectF area = storeRow->rect();
    return graphicsView.mapFromScene(storeRow->mapToScene(QPointF(area.center().x(), area.bottom() - 8)));
}

} // namespace

class tst_VelloraView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void construction_data();
    void construction();
    void loadingThenResults_data();
    void loadingThenResults();
    void buttonWithoutRowsShowsNothing();
    void switchHoldsLatestDetails();
    void hiddenViewTakesResultsOut();
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
    view.setDetails(artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    return buttonSpy.wait(10000) && buttonSpy.last().at(0).toBool() && policyItems(view) == resultItems(view);
}

void tst_VelloraView::construction_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<bool>("artistList");
    QTest::addColumn<bool>("storeRow");
    QTest::addColumn<bool>("spacer");
    QTest::newRow("player") << PanelViews::Player << false << true << true;
    QTest::newRow("album") << PanelViews::Album << false << true << false;
    QTest::newRow("artist") << PanelViews::Artist << true << true << false;
    QTest::newRow("genre") << PanelViews::Genre << false << false << false;
}

void tst_VelloraView::construction()
{
    QFETCH(QString, viewName);
    QFETCH(bool, artistList);
    QFETCH(bool, storeRow);
    QFETCH(bool, spacer);

    VelloraView view(viewName);
    QCOMPARE(view.layoutPolicy()->count(), 0);
    QCOMPARE(view.maximumWidth(), 480.0);
    QVERIFY(!view.container()->isVisible());
    QVERIFY(!view.spinner()->isVisible());
    QCOMPARE(view.spinner()->text(), view.container()->promotionModel()->loadingText());
    QCOMPARE(view.storeButton() != nullptr, storeRow);
    if (storeRow)
        QVERIFY(!view.storeButton()->isVisible());
    QCOMPARE(view.spacer() != nullptr, spacer);

    const SvList *list = view.container()->list();
    QCOMPARE(list->itemModel(), view.container()->promotionModel());
    QCOMPARE(dynamic_cast<AOAInterfaceContentItemCreator *>(list->cellCreator()) != nullptr, artistList);
    QCOMPARE(dynamic_cast<VelloraContentItemCreator *>(list->cellCreator()) != nullptr, !artistList);
    QCOMPARE(view.container()->header()->text(),
             artistList ? qtTrId("qtn_musi_vellora_artists") : qtTrId("qtn_musi_vellora"));
}

void tst_VelloraView::loadingThenResults_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::newRow("player") << PanelViews::Player;
    QTest::newRow("album") << PanelViews::Album;
    QTest::newRow("artist") << PanelViews::Artist;
    QTest::newRow("genre") << PanelViews::Genre;
}

void tst_VelloraView::loadingThenResults()
{
    QFETCH(QString, viewName);
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
    ItemList expectedLoading;
    if (view.spacer())
        expectedLoading << view.spacer();
    expectedLoading << view.spinner();
    QCOMPARE(whileLoading, expectedLoading);
    QVERIFY(spinnerShown);
    QVERIFY(!view.spinner()->isVisible());
    QVERIFY(view.container()->isVisible());

    QVERIFY(QMetaObject::invokeMethod(&view, "setWidgetVisible", Q_ARG(bool, true)));
    QCOMPARE(policyItems(view), resultItems(view));

    PanelFixture::layOut(&view);
    if (TekuMusicButtonWidget *button = view.storeButton()) {
        QVERIFY(button->isVisible());
        QCOMPARE(button->geometry().center().x(), view.size().width() / 2);
    }
    QCOMPARE(view.size().width(), 480.0);
}

void tst_VelloraView::buttonWithoutRowsShowsNothing()
{
    VelloraView view(PanelViews::Album);
    emit view.container()->promotionModel()->buttonVisibleChanged(true);
    QCOMPARE(view.layoutPolicy()->count(), 0);
    QVERIFY(!view.storeButton()->isVisible());
    QVERIFY(!view.container()->isVisible());
}

void tst_VelloraView::switchHoldsLatestDetails()
{
    VelloraView view(PanelViews::Album);
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
    QCOMPARE(m_fixture.similarRequestCount(), 1);

    // Off takes the results out; on again brings the same rows back without a fetch.
    QVERIFY(m_fixture.setFeatureSwitch(false));
    QCOMPARE(view.layoutPolicy()->count(), 0);
    QVERIFY(!view.container()->isVisible());
    QVERIFY(m_fixture.setFeatureSwitch(true));
    QCOMPARE(policyItems(view), resultItems(view));
    QVERIFY(m_fixture.drainNetworkQueue());
    QCOMPARE(m_fixture.searchRequestCount(QStringLiteral("The Beatles")), 1);
    QCOMPARE(m_fixture.similarRequestCount(), 1);
}

void tst_VelloraView::hiddenViewTakesResultsOut()
{
    VelloraView view(PanelViews::Player);
    QVERIFY(showResults(view));

    view.hide();
    QTRY_COMPARE(view.layoutPolicy()->count(), 0);
    QVERIFY(!view.storeButton()->isVisible());

    view.show();
    QTRY_COMPARE(policyItems(view), resultItems(view));
    QVERIFY(view.container()->isVisible());
}

void tst_VelloraView::touchesOpenTheStore()
{
    QGraphicsScene scene;
    auto *view = new VelloraView(PanelViews::Player);
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
    const QStringList row = { model->data(model->index(1, 0), Qt::UserRole).toString(),
                              model->data(model->index(1, 0), Qt::UserRole + 4).toString(),
                              model->data(model->index(1, 0), Qt::UserRole + 5).toString() };
    QTest::mouseClick(graphicsView.viewport(), Qt::LeftButton, {}, centreOf(graphicsView, list->cellAt(1)));
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 1);
    QCOMPARE(m_fixture.storeClient().links().at(0),
             QStringLiteral("#Product/SolvaneSonavoNowPlayingViewVellora/%1/%2/%3").arg(row.at(2), row.at(0), row.at(1)));

    // The store row follows on the same bus connection, so a second link from
    // the row would have arrived before it.
    QTest::mouseClick(graphicsView.viewport(), Qt::LeftButton, {}, touchAreaOf(graphicsView, view->storeButton()));
    QTRY_COMPARE(m_fixture.storeClient().links().size(), 2);
    QVERIFY2(m_fixture.storeClient().links().at(1).startsWith(
                 QStringLiteral("#Artist/SolvaneSonavoNowPlayingViewVellora/The Beatles/")),
             qPrintable(m_fixture.storeClient().links().at(1)));
}

QTEST_MAIN(tst_VelloraView)
#include "tst_velloraview.moc"
