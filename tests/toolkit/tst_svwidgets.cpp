#include <QGraphicsScene>
#include <QGraphicsView>
#include <QSignalSpy>
#include <QTest>

#include "svapplicationextensioninterface.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svlistitem.h"
#include "svprogressindicator.h"
#include "svseparator.h"
#include "svstylablewidget.h"
#include "svtheme.h"

class tst_SvWidgets : public QObject
{
    Q_OBJECT

private slots:
    void visibleChangedAfterTheChange();
    void listItemClicksOncePerTouch_data();
    void listItemClicksOncePerTouch();
    void spinnerAnimatesUntilHidden();
    void detailedItemPartsExistFromConstruction_data();
    void detailedItemPartsExistFromConstruction();
    void styleNameSetsLooks();
    void themeKnowsEveryStyle_data();
    void themeKnowsEveryStyle();
    void themeIcons_data();
    void themeIcons();
    void imageWidgetSources();
    void maximumWidthHoldsInLayout();
    void extensionInterfaceId();
};

void tst_SvWidgets::visibleChangedAfterTheChange()
{
    SvWidget widget;
    QList<bool> seen;
    connect(&widget, &SvWidget::visibleChanged, &widget, [&] { seen.append(widget.isVisible()); });
    widget.setVisible(false);
    widget.setVisible(false);
    widget.setVisible(true);
    QCOMPARE(seen, (QList<bool> { false, true }));
}

void tst_SvWidgets::listItemClicksOncePerTouch_data()
{
    // Points are in item coordinates of a 200 x 60 item; "M" is a move.
    QTest::addColumn<QList<QPoint>>("gesture");
    QTest::addColumn<int>("clicks");

    QTest::newRow("press and release inside") << QList<QPoint> { { 100, 30 }, { 100, 30 } } << 1;
    QTest::newRow("release elsewhere inside") << QList<QPoint> { { 10, 10 }, { 190, 50 } } << 1;
    QTest::newRow("release outside") << QList<QPoint> { { 100, 30 }, { 100, 300 } } << 0;
    QTest::newRow("slide off and back") << QList<QPoint> { { 100, 30 }, { 100, 300 }, { 100, 30 } } << 0;
}

void tst_SvWidgets::listItemClicksOncePerTouch()
{
    QFETCH(QList<QPoint>, gesture);
    QFETCH(int, clicks);

    QGraphicsScene scene(0, 0, 400, 400);
    auto *item = new SvListItem;
    item->setGeometry(QRectF(0, 0, 200, 60));
    scene.addItem(item);
    QGraphicsView view(&scene);
    view.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view.resize(420, 420);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QSignalSpy clickedSpy(item, &SvListItem::clicked);
    QWidget *viewport = view.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, view.mapFromScene(gesture.first()));
    QVERIFY(item->isDown());
    for (int i = 1; i < gesture.size() - 1; ++i)
        QTest::mouseMove(viewport, view.mapFromScene(gesture.at(i)));
    QTest::mouseMove(viewport, view.mapFromScene(gesture.last()));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, view.mapFromScene(gesture.last()));
    QCOMPARE(clickedSpy.count(), clicks);
    QVERIFY(!item->isDown());
}

void tst_SvWidgets::spinnerAnimatesUntilHidden()
{
    SvWidget parent;
    auto *spinner = new SvProgressIndicator(&parent, SvProgressIndicator::spinnerType);
    QCOMPARE(spinner->viewType(), SvProgressIndicator::spinnerType);
    QVERIFY(!spinner->isAnimating());
    spinner->setUnknownDuration(true);
    QVERIFY(spinner->isAnimating());
    spinner->hide();
    QVERIFY(!spinner->isAnimating());
    spinner->show();
    QVERIFY(spinner->isAnimating());
    // Hiding an ancestor hides the spinner too.
    parent.hide();
    QVERIFY(!spinner->isAnimating());
    parent.show();
    QVERIFY(spinner->isAnimating());
    spinner->setUnknownDuration(false);
    QVERIFY(!spinner->isAnimating());
}

void tst_SvWidgets::detailedItemPartsExistFromConstruction_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<bool>("subtitle");
    QTest::addColumn<bool>("sideBottom");

    QTest::newRow("0 icon, title, subtitle") << 0 << true << true << false;
    QTest::newRow("1 with side bottom title") << 1 << true << true << true;
    QTest::newRow("2 without picture") << 2 << false << true << true;
    QTest::newRow("3 icon and title") << 3 << true << false << false;
}

void tst_SvWidgets::detailedItemPartsExistFromConstruction()
{
    QFETCH(int, style);
    QFETCH(bool, picture);
    QFETCH(bool, subtitle);
    QFETCH(bool, sideBottom);

    SvDetailedListItem item { SvDetailedListItem::ItemStyle(style) };
    QVERIFY(item.titleLabelWidget());
    QVERIFY(item.subtitleLabelWidget());
    QVERIFY(item.sideBottomLabelWidget());
    QVERIFY(item.imageWidget());
    QCOMPARE(item.imageWidget()->isVisible(), picture);
    QCOMPARE(item.subtitleLabelWidget()->isVisible(), subtitle);
    QCOMPARE(item.sideBottomLabelWidget()->isVisible(), sideBottom);

    item.setTitle("Title");
    item.setSubtitle("Subtitle");
    item.setSideBottomTitle("3:45");
    QCOMPARE(item.titleLabelWidget()->text(), QString("Title"));
    QCOMPARE(item.subtitleLabelWidget()->text(), QString("Subtitle"));
    QCOMPARE(item.sideBottomLabelWidget()->text(), QString("3:45"));

    item.setIconStyle(SvDetailedListItem::Thumbnail);
    item.imageWidget()->setStyleName("CommonThumbnail");
    QCOMPARE(item.imageWidget()->effectiveSizeHint(Qt::PreferredSize), QSizeF(80, 80));
}

void tst_SvWidgets::styleNameSetsLooks()
{
    SvLabel label("Text");
    const QSizeF plain = label.effectiveSizeHint(Qt::PreferredSize);
    label.setStyleName("CommonSingleTitleInverted");
    QCOMPARE(label.styleName(), QString("CommonSingleTitleInverted"));
    QCOMPARE(label.themeStyle().font.pixelSize(), SvTheme::style("CommonSingleTitleInverted").font.pixelSize());
    QVERIFY(label.effectiveSizeHint(Qt::PreferredSize).height() > plain.height());

    SvStylableWidget spacer;
    spacer.setStyleName("CommonLargeSpacer");
    QCOMPARE(spacer.effectiveSizeHint(Qt::PreferredSize).height(), 24.0);
    spacer.setStyleName("CommonSpacer");
    QCOMPARE(spacer.effectiveSizeHint(Qt::PreferredSize).height(), 8.0);
}

void tst_SvWidgets::themeKnowsEveryStyle_data()
{
    QTest::addColumn<QString>("styleName");
    for (const char *name : { "CommonPanelInverted", "CommonSmallPanelInverted", "CommonTitleInverted",
                              "CommonSingleTitleInverted", "CommonSubTitleInverted", "CommonItemInfoInverted",
                              "CommonGroupHeaderInverted", "CommonGroupHeaderDividerInverted",
                              "CommonItemDividerInverted", "CommonLargeSpacer", "CommonSpacer",
                              "CommonListItemSpinnerInverted", "CommonMainIcon", "CommonThumbnail" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_SvWidgets::themeKnowsEveryStyle()
{
    QFETCH(QString, styleName);
    QVERIFY(SvTheme::hasStyle(styleName));
    const SvStyle style = SvTheme::style(styleName);
    if (styleName.endsWith("Inverted")) {
        // Light on dark: the foreground is far lighter than the panel.
        const QColor panel = SvTheme::style("CommonPanelInverted").backgroundColor;
        QVERIFY(style.foregroundColor.lightness() - panel.lightness() > 50);
    }
    if (styleName.endsWith("PanelInverted"))
        QVERIFY(style.backgroundColor.lightness() < 60);
}

void tst_SvWidgets::themeIcons_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("known");
    QTest::newRow("album") << "icon-m-content-album" << true;
    QTest::newRow("artist") << "icon-m-content-artist" << true;
    QTest::newRow("store") << "icon-m-service-teku-music" << true;
    QTest::newRow("unknown") << "icon-m-no-such-icon" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_SvWidgets::themeIcons()
{
    QFETCH(QString, id);
    QFETCH(bool, known);

    QCOMPARE(SvTheme::hasIcon(id), known);
    const QImage icon = SvTheme::icon(id, QSize(64, 64));
    QCOMPARE(icon.isNull(), !known);
    if (!known)
        return;
    QCOMPARE(icon.size(), QSize(64, 64));
    QSet<QRgb> colours;
    for (int y = 0; y < icon.height(); y += 4) {
        for (int x = 0; x < icon.width(); x += 4)
            colours.insert(icon.pixel(x, y));
    }
    QVERIFY2(colours.size() >= 3, "the icon is a flat fill");
}

void tst_SvWidgets::imageWidgetSources()
{
    SvImageWidget widget;
    widget.setImage(QString("icon-m-content-artist"));
    QCOMPARE(widget.imageId(), QString("icon-m-content-artist"));
    QVERIFY(!widget.renderedImage(QSize(40, 40)).isNull());

    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    widget.setImage(picture);
    QVERIFY(widget.imageId().isEmpty());
    const QImage shown = widget.renderedImage(QSize(40, 40));
    QCOMPARE(shown.size(), QSize(40, 20));
    QCOMPARE(QColor(shown.pixel(20, 10)), QColor(Qt::red));

    // A picture that failed to load shows nothing, not an icon.
    widget.setImage(QImage());
    QVERIFY(widget.renderedImage(QSize(40, 40)).isNull());
}

void tst_SvWidgets::maximumWidthHoldsInLayout()
{
    SvWidget root;
    auto *layout = new SvLayout(&root);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *policy = new SvLinearLayoutPolicy(layout, Qt::Vertical);
    auto *panel = new SvWidget;
    panel->setMaximumWidth(480);
    panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *separator = new SvSeparator(nullptr, Qt::Horizontal);
    policy->addItem(panel, Qt::AlignHCenter);
    policy->addItem(separator);
    root.resize(800, 100);
    QCoreApplication::sendPostedEvents();
    layout->activate();
    QCOMPARE(panel->size().width(), 480.0);
    QCOMPARE(panel->pos().x(), 160.0);
    QCOMPARE(separator->size().width(), 800.0);
}

void tst_SvWidgets::extensionInterfaceId()
{
    QCOMPARE(QByteArray(qobject_interface_iid<SvApplicationExtensionInterface *>()),
             QByteArray("com.solvane.core.SvApplicationExtensionInterface/1.0"));
}

QTEST_MAIN(tst_SvWidgets)
#include "tst_svwidgets.moc"
