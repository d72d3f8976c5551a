#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include "panelfixture.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlist.h"
#include "svlocale.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraview.h"

namespace {

// The host player's dark background behind the panel.
const QColor HostBackground(0x0b, 0x0d, 0x10);

bool allPicturesShown(const SvList *list)
{
    for (int row = 0; row < list->cellCount(); ++row) {
        const auto *item = qobject_cast<const SvDetailedListItem *>(list->cellAt(row));
        if (!item || item->imageWidget()->image().isNull())
            return false;
    }
    return list->cellCount() > 0;
}

} // namespace

class tst_PanelRender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playerPanel();

private:
    PanelFixture m_fixture;
};

void tst_PanelRender::initTestCase()
{
    QVERIFY(m_fixture.start());
    m_fixture.reset();
    SvLocale locale(QStringLiteral("en"));
    locale.installTrCatalog(QStringLiteral("teku-music-store"));
    SvLocale::setDefault(locale);
    QCOMPARE(qtTrId("qtn_musi_tekumusic_more"), QStringLiteral("More in Teku Music"));
}

void tst_PanelRender::playerPanel()
{
    const QString output = qEnvironmentVariable("PANEL_RENDER_OUTPUT");
    QVERIFY2(!output.isEmpty(), "PANEL_RENDER_OUTPUT names the picture to write");

    QGraphicsScene scene;
    auto *view = new VelloraView(PanelViews::Player);
    scene.addItem(view);
    VelloraModel *model = view->container()->promotionModel();
    QSignalSpy buttonSpy(model, &VelloraModel::buttonVisibleChanged);
    view->setDetails(QStringLiteral("The Beatles"), QStringLiteral("Ember Gardens"),
                     QStringLiteral("Tidal Houses"), QStringLiteral("rock"));
    QVERIFY(buttonSpy.wait(10000));
    const SvList *list = view->container()->list();
    QCOMPARE(list->cellCount(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(allPicturesShown(list), 10000);

    PanelFixture::layOut(view);
    const QRectF area = view->geometry();
    QImage picture(area.size().toSize(), QImage::Format_RGB32);
    picture.fill(HostBackground);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        scene.render(&painter, QRectF(QPointF(0, 0), area.size()), area);
    }
    QVERIFY(picture.save(output, "PNG"));

    QCOMPARE(picture.width(), 480);
    QVERIFY(picture.height() > 4 * 80);
    QSet<QRgb> colours;
    int painted = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            colours.insert(pixel);
            if (pixel != HostBackground.rgb())
                ++painted;
        }
    }
    QVERIFY2(colours.size() > 100, qPrintable(QString::number(colours.size())));
    QVERIFY(painted > picture.width() * picture.height() / 2);
}

QTEST_MAIN(tst_PanelRender)
#include "tst_panelrender.moc"
