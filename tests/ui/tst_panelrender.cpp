#include <QDir>
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
#include "storecatalog.h"
#include "svlocale.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraview.h"

namespace {

// The host player's dark background behind the panel.
const QColor HostBackground(0x0b, 0x0d, 0x10);

// The pictures the list's cells show, or none while any cell still shows an icon.
QList<QImage> shownPictures(const SvList *list)
{
    QList<QImage> pictures;
    for (int row = 0; row < list->cellCount(); ++row) {
        const auto *item = qobject_cast<const SvDetailedListItem *>(list->cellAt(row));
        if (!item || item->imageWidget()->image().isNull())
            return {};
        pictures.append(item->imageWidget()->image());
    }
    return pictures;
}

int distinctCount(const QList<QImage> &pictures)
{
    QList<QImage> distinct;
    for (const QImage &picture : pictures) {
        if (!distinct.contains(picture))
            distinct.append(picture);
    }
    return distinct.size();
}

} // namespace

class tst_PanelRender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playerPanel_data();
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

void tst_PanelRender::playerPanel_data()
{
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("distinctPictures");
    QTest::newRow("store-catalog") << StoreCatalog::builtInFileName() << "The Beatles"
                                   << "player-panel.png" << 4;
    // Tracks of one album: every row shows the album's picture.
    QTest::newRow("tracks-of-one-album") << PanelFixture::writeOneAlbumCatalog(4) << "Shared Seed"
                                         << "player-panel-one-album.png" << 1;
}

void tst_PanelRender::playerPanel()
{
    QFETCH(QString, catalog);
    QFETCH(QString, artist);
    QFETCH(QString, fileName);
    QFETCH(int, distinctPictures);
    const QString folder = qEnvironmentVariable("PANEL_RENDER_FOLDER");
    QVERIFY2(!folder.isEmpty(), "PANEL_RENDER_FOLDER names where the pictures go");
    const QString output = QDir(folder).filePath(fileName);
    m_fixture.reset();
    QString error;
    QVERIFY2(m_fixture.store().loadCatalog(catalog, &error), qPrintable(error));

    QGraphicsScene scene;
    auto *view = new VelloraView(ViewNames::Player);
    scene.addItem(view);
    VelloraModel *model = view->container()->promotionModel();
    QSignalSpy buttonSpy(model, &VelloraModel::buttonVisibleChanged);
    view->setDetails(artist, QString(), QString(), QStringLiteral("rock"));
    QVERIFY(buttonSpy.wait(10000));
    const SvList *list = view->container()->list();
    QCOMPARE(list->cellCount(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(!shownPictures(list).isEmpty(), 10000);
    QCOMPARE(distinctCount(shownPictures(list)), distinctPictures);

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
