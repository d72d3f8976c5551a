#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

#include <sys/stat.h>

#include "aoainterfacecontentitemcreator.h"
#include "aoainterfacelistitem.h"
#include "cachefolder.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "rowfield.h"
#include "storefeedwriter.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svwidgetrecycler.h"
#include "testfiles.h"
#include "velloracontentitemcreator.h"
#include "velloralistitem.h"
#include "velloramodel.h"

namespace {

const QString AlbumIcon = QStringLiteral("icon-m-content-album");
const QString ArtistIcon = QStringLiteral("icon-m-content-artist");

using CreatorFactory = std::function<std::unique_ptr<SvCellCreator>()>;
template<typename Creator>
std::unique_ptr<SvCellCreator> make()
{
    return std::make_unique<Creator>();
}

} // namespace

Q_DECLARE_METATYPE(CreatorFactory)

class tst_PanelCells : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void creators_data();
    void creators();
    void unusableCellOrIndex();
    void localPictures_data();
    void localPictures();
    void sharedPictureDownloadedOnce();
    void otherSchemesNeverFetched_data();
    void otherSchemesNeverFetched();

private:
    // Fills a fresh cell from a one-row model whose picture field is given.
    SvDetailedListItem *fill(const QString &picture,
                             const SvCellCreator &creator = VelloraContentItemCreator());

    PanelFixture m_fixture;
    SvWidgetRecycler m_recycler;
    std::unique_ptr<SvWidget> m_cell;
};

void tst_PanelCells::initTestCase()
{
    QVERIFY(m_fixture.start());
}

void tst_PanelCells::init()
{
    m_fixture.reset();
    m_cell.reset();
}

SvDetailedListItem *tst_PanelCells::fill(const QString &picture, const SvCellCreator &creator)
{
    VelloraModel model;
    model.insertData(0,
                     { QStringLiteral("Title"), QStringLiteral("Artist | Album"),
                       QStringLiteral("04:05"), picture, QStringLiteral("tr1"),
                       QStringLiteral("Artist") });
    m_cell.reset(creator.createCell(model.index(0, 0), m_recycler));
    return qobject_cast<SvDetailedListItem *>(m_cell.get());
}

void tst_PanelCells::creators_data()
{
    QTest::addColumn<CreatorFactory>("makeCreator");
    QTest::addColumn<QString>("itemClass");
    QTest::addColumn<int>("itemStyle");
    QTest::addColumn<QString>("titleStyle");
    QTest::addColumn<QString>("defaultIcon");
    QTest::newRow("default-list") << CreatorFactory(make<VelloraContentItemCreator>)
                                  << "VelloraListItem" << 1 << "CommonTitleInverted" << AlbumIcon;
    QTest::newRow("artist-list") << CreatorFactory(make<AOAInterfaceContentItemCreator>)
                                 << "AOAInterfaceListItem" << 3 << "CommonSingleTitleInverted"
                                 << ArtistIcon;
}

void tst_PanelCells::creators()
{
    QFETCH(CreatorFactory, makeCreator);
    QFETCH(QString, itemClass);
    QFETCH(int, itemStyle);
    QFETCH(QString, titleStyle);
    QFETCH(QString, defaultIcon);

    const std::unique_ptr<SvCellCreator> creator = makeCreator();
    SvDetailedListItem *item = fill(QString(), *creator);
    QVERIFY(item);
    QCOMPARE(QString::fromLatin1(item->metaObject()->className()), itemClass);
    QCOMPARE(int(item->itemStyle()), itemStyle);
    QCOMPARE(item->styleName(), QStringLiteral("CommonPanelInverted"));
    QCOMPARE(item->titleLabelWidget()->styleName(), titleStyle);
    QCOMPARE(item->subtitleLabelWidget()->styleName(), QStringLiteral("CommonSubTitleInverted"));
    QCOMPARE(item->imageWidget()->styleName(), QStringLiteral("CommonThumbnail"));
    QCOMPARE(item->title(), QStringLiteral("Title"));
    QCOMPARE(item->subtitle(), QStringLiteral("Artist | Album"));
    QCOMPARE(item->sideBottomTitle(), QStringLiteral("04:05"));
    QCOMPARE(item->imageWidget()->imageId(), defaultIcon);

    const SvDetailedListItem plain(SvDetailedListItem::IconTitleSubtitle);
    QCOMPARE(creator->cellSize(), plain.effectiveSizeHint(Qt::PreferredSize));

    // A recycled cell of the class is reused and filled again.
    m_recycler.recycle(m_cell.release());
    VelloraModel model;
    model.insertData(0, { QStringLiteral("Second") });
    m_cell.reset(creator->createCell(model.index(0, 0), m_recycler));
    QCOMPARE(m_cell.get(), item);
    QCOMPARE(item->title(), QStringLiteral("Second"));
    QCOMPARE(item->subtitle(), QString());
}

void tst_PanelCells::unusableCellOrIndex()
{
    SvDetailedListItem *item = fill(QString());
    VelloraModel model;
    model.insertData(0, { QStringLiteral("Other") });
    VelloraContentItemCreator creator;
    creator.updateCell(QModelIndex(), item);
    creator.updateCell(model.index(0, 0), nullptr);
    SvListItem plainRow;
    creator.updateCell(model.index(0, 0), &plainRow);
    QCOMPARE(item->title(), QStringLiteral("Title"));
}

void tst_PanelCells::localPictures_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<bool>("shown");
    const TestFiles::Placeholders folders {
        { QStringLiteral("{cache}"), CacheFolder::folder(QStringLiteral("images")) },
        { QStringLiteral("{home}"), QDir::homePath() + QLatin1Char('/') },
    };
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/local-pictures.tsv"), folders))
        QTest::newRow(qPrintable(row["tag"]))
                << row["picture"] << (row["shown"] == QLatin1String("true"));
}

void tst_PanelCells::localPictures()
{
    QFETCH(QString, picture);
    QFETCH(bool, shown);
    const QString cache = CacheFolder::folder(QStringLiteral("images"));
    const QString elsewhere = QDir::homePath() + QStringLiteral("/elsewhere.jpg");
    const QByteArray thumbnail = TestFiles::picture(QSize(80, 80));
    QVERIFY(TestFiles::write(elsewhere, thumbnail));
    QVERIFY(QDir::setCurrent(QDir::homePath()));
    QVERIFY(TestFiles::write(cache + QStringLiteral("0123456789abcdef0123456789abcdef"),
                             thumbnail));
    // Web pictures already in the picture cache need no download to show.
    for (const char *url :
         { "http://pictures.example/art/1.jpg", "https://pictures.example/art/1.jpg" })
        QVERIFY(TestFiles::write(
                CacheFolder::filePath(QStringLiteral("images"), QLatin1String(url)), thumbnail));
    QVERIFY(QFile::link(elsewhere, cache + QStringLiteral("link-elsewhere")));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), cache + QStringLiteral("link-device")));
    // Opening a pipe without a writer would never return.
    QCOMPARE(mkfifo(QFile::encodeName(cache + QStringLiteral("pipe")).constData(), 0600), 0);
    QVERIFY(QFile::link(cache + QStringLiteral("pipe"), cache + QStringLiteral("link-pipe")));
    QFile empty(cache + QStringLiteral("empty"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QFile garbage(cache + QStringLiteral("garbage"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    QCOMPARE(garbage.write(QByteArray(4096, '\x5a')), 4096);
    garbage.close();

    SvDetailedListItem *item = fill(picture);
    QCOMPARE(item->imageWidget()->imageId(), shown ? QString() : AlbumIcon);
    QCOMPARE(!item->imageWidget()->image().isNull(), shown);
}

void tst_PanelCells::sharedPictureDownloadedOnce()
{
    const int tracks = 4;
    QString error;
    QVERIFY2(m_fixture.store().loadCatalog(PanelFixture::writeOneAlbumCatalog(tracks), &error),
             qPrintable(error));
    const auto restoreCatalog =
            qScopeGuard([this] { m_fixture.store().loadCatalog(StoreCatalog::builtInFileName()); });

    VelloraModel model;
    QSignalSpy buttonSpy(&model, &VelloraModel::buttonVisibleChanged);
    model.setDetails(QStringLiteral("Shared Seed"), QString(), QString(), QString(),
                     ViewNames::Player);
    QVERIFY(buttonSpy.wait(10000));
    QCOMPARE(model.rowCount(), tracks);
    const QString url = model.data(model.index(0, 0), RowField::role(RowField::Picture)).toString();
    const QString path = CacheFolder::filePath(QStringLiteral("images"), url);

    // The list fills every row while the one download runs.
    VelloraContentItemCreator creator;
    std::vector<std::unique_ptr<SvWidget>> cells;
    for (int row = 0; row < tracks; ++row) {
        cells.emplace_back(creator.createCell(model.index(row, 0), m_recycler));
        QCOMPARE(qobject_cast<SvDetailedListItem *>(cells.back().get())->imageWidget()->imageId(),
                 AlbumIcon);
    }
    for (int row = 0; row < tracks; ++row)
        QTRY_COMPARE(model.data(model.index(row, 0), RowField::role(RowField::Picture)).toString(),
                     path);

    for (int row = 0; row < tracks; ++row) {
        auto *item = qobject_cast<SvDetailedListItem *>(cells.at(row).get());
        creator.updateCell(model.index(row, 0), item);
        QCOMPARE(item->imageWidget()->imageId(), QString());
        QCOMPARE(item->imageWidget()->image().size(), QSize(80, 80));
    }
    QCOMPARE(m_fixture.store().requestCount(StoreRequest::Kind::Picture), 1);
}

void tst_PanelCells::otherSchemesNeverFetched_data()
{
    // Each would be fetched if its field were searched for a web address.
    const QByteArray jpeg = TestFiles::picture(QSize(8, 8));
    QTest::addColumn<QString>("picture");
    QTest::newRow("file-with-web-fragment")
            << "file://" + QDir::homePath() + "/elsewhere.jpg#http://x";
    QTest::newRow("data-with-web-fragment")
            << "data:image/jpeg;base64," + QString::fromLatin1(jpeg.toBase64()) + "#http://x";
    QTest::newRow("ftp-with-web-query") << "ftp://127.0.0.1/elsewhere.jpg?http://x";
}

void tst_PanelCells::otherSchemesNeverFetched()
{
    QFETCH(QString, picture);
    QVERIFY(TestFiles::write(QDir::homePath() + QStringLiteral("/elsewhere.jpg"),
                             TestFiles::picture(QSize(80, 80))));
    PromotionNetworkAPI *network = PromotionNetworkAPI::instance();
    QSignalSpy downloadedSpy(network, &PromotionNetworkAPI::imageDownloaded);
    SvDetailedListItem *item = fill(picture);
    QCOMPARE(item->imageWidget()->imageId(), AlbumIcon);

    // A store picture asked for afterwards comes over the network; anything
    // fetched from the field before it would have been announced by then.
    const StoreArtist *artist = m_fixture.store().catalog().artist(QStringLiteral("ar1001"));
    QVERIFY(artist);
    const QString marker = m_fixture.store().baseUrl() + QStringLiteral("/pictures/")
            + StoreFeedWriter::artistPictureName(*artist);
    QCOMPARE(network->getArtOfMusicItem(marker), QString());
    QTRY_VERIFY(!downloadedSpy.isEmpty());
    QCOMPARE(downloadedSpy.last().at(0).toString(), marker);
    QCOMPARE(downloadedSpy.count(), 1);
}

QTEST_MAIN(tst_PanelCells)
#include "tst_panelcells.moc"
