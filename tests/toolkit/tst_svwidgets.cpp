#include <QDir>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QPainter>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyleOptionGraphicsItem>
#include <QTest>

#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlocale.h"
#include "svprogressindicator.h"
#include "svseparator.h"
#include "svtheme.h"

class tst_SvWidgets : public QObject
{
    Q_OBJECT

private slots:
    void spinnerAnimatesUntilHidden();
    void spinnerIsDrawnAroundItsMiddle();
    void separatorStretchesAlongItsLine();
    void detailedItemPartsByStyle_data();
    void detailedItemPartsByStyle();
    void textAndPictureArePainted_data();
    void textAndPictureArePainted();
    void catalogsAreFoundInAddedFolders();
};

void tst_SvWidgets::spinnerAnimatesUntilHidden()
{
    SvWidget parent;
    auto *spinner = new SvProgressIndicator(&parent, SvProgressIndicator::spinnerType);
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

void tst_SvWidgets::spinnerIsDrawnAroundItsMiddle()
{
    SvProgressIndicator spinner(nullptr, SvProgressIndicator::spinnerType);
    spinner.setGeometry(QRectF(0, 0, 64, 64));
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QStyleOptionGraphicsItem option;
    spinner.paint(&painter, &option);
    painter.end();
    // Its spokes stand in a ring: each quarter of the square holds as much of them.
    QList<int> quarters(4);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            quarters[(y >= 32) * 2 + (x >= 32)] += qAlpha(image.pixel(x, y)) > 0;
    }
    for (const int ink : std::as_const(quarters))
        QVERIFY2(ink > 0 && qAbs(ink - quarters.first()) <= quarters.first() / 4,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                    .arg(quarters[0])
                                    .arg(quarters[1])
                                    .arg(quarters[2])
                                    .arg(quarters[3])));
}

void tst_SvWidgets::separatorStretchesAlongItsLine()
{
    SvSeparator separator(nullptr, Qt::Horizontal);
    QCOMPARE(separator.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(separator.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    separator.setOrientation(Qt::Vertical);
    QCOMPARE(separator.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(separator.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void tst_SvWidgets::detailedItemPartsByStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<bool>("subtitle");
    QTest::addColumn<bool>("sideBottom");
    // What a screen reader says of the row: the texts it shows, in reading order.
    QTest::addColumn<QString>("spoken");

    QTest::newRow("0 icon, title, subtitle") << 0 << true << true << false << "Title, Subtitle";
    QTest::newRow("1 with side bottom title")
            << 1 << true << true << true << "Title, Subtitle, Side";
    QTest::newRow("2 without picture") << 2 << false << true << true << "Title, Subtitle, Side";
    QTest::newRow("3 icon and title") << 3 << true << false << false << "Title";
}

void tst_SvWidgets::detailedItemPartsByStyle()
{
    QFETCH(int, style);
    QFETCH(bool, picture);
    QFETCH(bool, subtitle);
    QFETCH(bool, sideBottom);
    QFETCH(QString, spoken);

    // Parts a style leaves out exist all the same, hidden, so that they can be styled.
    SvDetailedListItem item { SvDetailedListItem::ItemStyle(style) };
    QVERIFY(item.titleLabelWidget());
    QCOMPARE(item.imageWidget()->isVisible(), picture);
    QCOMPARE(item.subtitleLabelWidget()->isVisible(), subtitle);
    QCOMPARE(item.sideBottomLabelWidget()->isVisible(), sideBottom);

    // A new row's picture is an icon until it is made a thumbnail.
    QCOMPARE(item.imageWidget()->effectiveSizeHint(Qt::PreferredSize), QSizeF(64, 64));
    item.setIconStyle(SvDetailedListItem::Thumbnail);
    QCOMPARE(item.imageWidget()->effectiveSizeHint(Qt::PreferredSize), QSizeF(80, 80));

    // Set in the order opposite to reading, so that only the layout tells it.
    item.setSideBottomTitle(QStringLiteral("Side"));
    item.setSubtitle(QStringLiteral("Subtitle"));
    item.setTitle(QStringLiteral("Title"));
    item.resize(400, item.effectiveSizeHint(Qt::PreferredSize).height());
    item.layout()->activate();
    QCOMPARE(item.accessibleName(), spoken);
    QCOMPARE(item.accessibleRole(), QAccessible::ListItem);
    item.setAccessibleName(QStringLiteral("Named"));
    QCOMPARE(item.accessibleName(), QStringLiteral("Named"));
}

void tst_SvWidgets::textAndPictureArePainted_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<bool>("dark");
    // The styles follow the system's colour scheme, which the palette tells.
    QTest::newRow("dark scheme") << QColor(0x24, 0x24, 0x24) << true;
    QTest::newRow("light scheme") << QColor(0xf0, 0xf0, 0xf0) << false;
}

void tst_SvWidgets::textAndPictureArePainted()
{
    QFETCH(QColor, window);
    QFETCH(bool, dark);
    const QPalette before = QGuiApplication::palette();
    const auto restore = qScopeGuard([&before] { QGuiApplication::setPalette(before); });
    QPalette palette = before;
    palette.setColor(QPalette::Window, window);
    QGuiApplication::setPalette(palette);
    QCOMPARE(SvTheme::isDark(), dark);
    QCOMPARE(SvTheme::ground().lightness() < 128, dark);
    const SvStyle panel = SvTheme::style(QStringLiteral("CommonPanelInverted"));
    QCOMPARE(panel.backgroundColor.lightness() < 128, dark);
    QCOMPARE(panel.foregroundColor.lightness() < 128, !dark);

    QGraphicsScene scene;
    auto *label = new SvLabel(QStringLiteral("Northern Lights"));
    label->setStyleName(QStringLiteral("CommonTitleInverted"));
    auto *picture = new SvImageWidget;
    picture->setStyleName(QStringLiteral("CommonThumbnail"));
    picture->setImage(QStringLiteral("icon-m-content-album"));
    scene.addItem(label);
    scene.addItem(picture);
    label->resize(label->effectiveSizeHint(Qt::PreferredSize));
    picture->setGeometry(QRectF(QPointF(0, 100), picture->effectiveSizeHint(Qt::PreferredSize)));
    const auto render = [&scene](const QRectF &area) {
        QImage image(area.size().toSize(), QImage::Format_RGB32);
        image.fill(SvTheme::ground());
        QPainter painter(&image);
        scene.render(&painter, QRectF(QPointF(), area.size()), area);
        return image;
    };

    // The text stands out from the ground it is shown on; what a screen
    // reader hears is the same in either scheme.
    const QImage text = render(label->geometry());
    int inked = 0;
    for (int y = 0; y < text.height(); ++y) {
        for (int x = 0; x < text.width(); ++x)
            inked += qAbs(QColor(text.pixel(x, y)).lightness() - SvTheme::ground().lightness()) > 100;
    }
    QVERIFY2(inked > text.width() * text.height() / 50, qPrintable(QString::number(inked)));
    QCOMPARE(label->accessibleText(), QStringLiteral("Northern Lights"));

    const QImage icon = render(picture->geometry());
    QCOMPARE(icon.size(), QSize(80, 80));
    QCOMPARE(icon.pixel(40, 40),
             SvTheme::icon(QStringLiteral("icon-m-content-album"), QSize(80, 80)).pixel(40, 40));
    // A new picture of the same size is drawn again all the same.
    QSignalSpy changedSpy(&scene, &QGraphicsScene::changed);
    for (const QImage &image : { QImage(80, 80, QImage::Format_RGB32), QImage() }) {
        if (image.isNull())
            picture->setImage(QStringLiteral("icon-m-content-artist"));
        else
            picture->setImage(image);
        QVERIFY(changedSpy.wait(2000));
        QVERIFY(changedSpy.takeLast().at(0).value<QList<QRectF>>().value(0).intersects(
                picture->sceneBoundingRect()));
    }
}

void tst_SvWidgets::catalogsAreFoundInAddedFolders()
{
    // The build's catalogs stand for an installed folder; the variable that
    // points uninstalled builds at them is taken away for this check.
    const QByteArray folder = qgetenv(SvLocale::translationPathVariable);
    QVERIFY(!folder.isEmpty());
    qunsetenv(SvLocale::translationPathVariable);
    const auto restore = qScopeGuard([&folder] {
        qputenv(SvLocale::translationPathVariable, folder);
        SvLocale::setDefault(SvLocale());
    });

    const QString path = QString::fromLocal8Bit(folder);
    SvLocale::addTranslationPath(path + QStringLiteral("/"));
    SvLocale::addTranslationPath(path + QStringLiteral("/../") + QDir(path).dirName());
    QCOMPARE(SvLocale::translationPaths(), QStringList { QDir::cleanPath(path) });
    SvLocale locale(QStringLiteral("en"));
    locale.installTrCatalog(QStringLiteral("teku-music-store"));
    SvLocale::setDefault(locale);
    QCOMPARE(qtTrId("qtn_musi_tekumusic_more"), QStringLiteral("More in Teku Music"));
}

QTEST_MAIN(tst_SvWidgets)
#include "tst_svwidgets.moc"
