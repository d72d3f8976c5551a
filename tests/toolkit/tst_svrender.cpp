#include <QGraphicsScene>
#include <QGraphicsView>
#include <QTest>

#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svlocale.h"
#include "svprogressindicator.h"
#include "svseparator.h"
#include "svtheme.h"

namespace {

SvLinearLayoutPolicy *linearLayout(SvWidget *widget, Qt::Orientation orientation)
{
    auto *layout = new SvLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *policy = new SvLinearLayoutPolicy(layout, orientation);
    policy->setContentsMargins(0, 0, 0, 0);
    policy->setSpacing(0);
    return policy;
}

// Share of pixels in the rectangle that are far lighter than the dark panel.
qreal lightShare(const QImage &image, const QRect &rect)
{
    int light = 0;
    int all = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            ++all;
            if (QColor(image.pixel(x, y)).lightness() > 100)
                ++light;
        }
    }
    return all ? qreal(light) / all : 0;
}

} // namespace

class tst_SvRender : public QObject
{
    Q_OBJECT

private slots:
    void panelRendersOffscreen();
};

void tst_SvRender::panelRendersOffscreen()
{
    SvLocale locale("en");
    locale.installTrCatalog("teku-music-store");
    SvLocale::setDefault(locale);

    auto *panel = new SvStylableWidget;
    panel->setStyleName("CommonPanelInverted");
    panel->setMaximumWidth(480);
    SvLinearLayoutPolicy *column = linearLayout(panel, Qt::Vertical);

    auto *header = new SvWidget(panel);
    SvLinearLayoutPolicy *headerRow = linearLayout(header, Qt::Horizontal);
    auto *divider = new SvSeparator(header, Qt::Horizontal);
    divider->setStyleName("CommonGroupHeaderDividerInverted");
    auto *headerLabel = new SvLabel(qtTrId("qtn_musi_vellora"), header);
    headerLabel->setStyleName("CommonGroupHeaderInverted");
    headerLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    headerRow->addItem(divider);
    headerRow->addItem(headerLabel);
    column->addItem(header);

    auto *item = new SvDetailedListItem(SvDetailedListItem::IconTitleSubtitleAndSideBottomTitle, panel);
    item->setIconStyle(SvDetailedListItem::Thumbnail);
    item->setStyleName("CommonPanelInverted");
    item->titleLabelWidget()->setStyleName("CommonTitleInverted");
    item->subtitleLabelWidget()->setStyleName("CommonSubTitleInverted");
    item->sideBottomLabelWidget()->setStyleName("CommonItemInfoInverted");
    item->imageWidget()->setStyleName("CommonThumbnail");
    item->setTitle("Northern Lights");
    item->setSubtitle("Aurora Quartet");
    item->setSideBottomTitle("4:05");
    item->imageWidget()->setImage(QString("icon-m-content-album"));
    column->addItem(item);

    auto *loading = new SvWidget(panel);
    SvLinearLayoutPolicy *loadingRow = linearLayout(loading, Qt::Horizontal);
    auto *loadingLabel = new SvLabel(qtTrId("qtn_musi_fetching_recom"), loading);
    loadingLabel->setStyleName("CommonSingleTitleInverted");
    auto *spinner = new SvProgressIndicator(loading, SvProgressIndicator::spinnerType);
    spinner->setStyleName("CommonListItemSpinnerInverted");
    spinner->setUnknownDuration(true);
    loadingRow->addItem(loadingLabel, Qt::AlignLeft | Qt::AlignVCenter);
    loadingRow->addItem(spinner, Qt::AlignRight | Qt::AlignVCenter);
    column->addItem(loading);

    QGraphicsScene scene;
    scene.setBackgroundBrush(Qt::black);
    scene.addItem(panel);
    panel->resize(480, panel->effectiveSizeHint(Qt::PreferredSize).height());
    QCoreApplication::sendPostedEvents();
    scene.setSceneRect(panel->geometry());

    QGraphicsView view(&scene);
    view.setFrameShape(QFrame::NoFrame);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(panel->size().toSize());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QImage image = view.grab().toImage();
    const QString output = qEnvironmentVariable("SVRENDER_OUTPUT", "toolkit-render.png");
    QVERIFY2(image.save(output), qPrintable(output));
    QCOMPARE(image.size(), panel->size().toSize());

    auto rectOf = [&](QGraphicsItem *widget) {
        const QRectF area = widget->sceneBoundingRect();
        return QRect(view.mapFromScene(area.topLeft()), area.size().toSize()).intersected(image.rect());
    };

    // The panel is dark where nothing is drawn.
    const QColor panelColour = SvTheme::style("CommonPanelInverted").backgroundColor;
    QCOMPARE(QColor(image.pixel(2, image.height() - 2)), panelColour);

    // Text is drawn light inside the labels and nowhere in the gap right of the title's text.
    const QRect title = rectOf(item->titleLabelWidget());
    QVERIFY(title.width() > 100 && title.height() > 10);
    QVERIFY(lightShare(image, title) > 0.02);
    QVERIFY(lightShare(image, rectOf(item->subtitleLabelWidget())) > 0.01);
    QVERIFY(lightShare(image, rectOf(headerLabel)) > 0.01);
    const QRect afterText(title.right() - 20, title.top(), 20, title.height());
    QCOMPARE(lightShare(image, afterText), 0.0);

    // The picture sits left of the texts and shows the album icon, not the panel.
    const QRect picture = rectOf(item->imageWidget());
    QCOMPARE(picture.size(), QSize(80, 80));
    QVERIFY(picture.right() < title.left());
    QVERIFY(QColor(image.pixel(picture.center())) != panelColour);
    QCOMPARE(image.pixel(picture.center()), SvTheme::icon("icon-m-content-album", QSize(80, 80)).pixel(40, 40));

    // The spinner stands at the right end of its row, the label at the left.
    const QRect spinnerRect = rectOf(spinner);
    QCOMPARE(spinnerRect.right(), rectOf(loading).right());
    QVERIFY(lightShare(image, spinnerRect) > 0.02);
    QCOMPARE(rectOf(loadingLabel).left(), rectOf(loading).left());
    QVERIFY(lightShare(image, rectOf(loadingLabel)) > 0.02);
}

QTEST_MAIN(tst_SvRender)
#include "tst_svrender.moc"
