// The rows' pictures through the network service: stored as thumbnails,
// tried again after a failure, never trusted from the cache, and dropped
// once nobody holds on to them.

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "cachefolder.h"
#include "networkservicetest.h"
#include "picturefetcher.h"
#include "storehttprequest.h"
#include "testfiles.h"

namespace {

// A whole GIF of one colour that claims the size given: 35 bytes.
QByteArray gifClaiming(const QSize &size)
{
    const auto le16 = [](int value) {
        const char bytes[] = { char(value & 0xff), char(value >> 8) };
        return QByteArray(bytes, 2);
    };
    return "GIF89a" + le16(size.width()) + le16(size.height())
            + QByteArray::fromHex("800000ff000000 00ff2c00000000") + le16(size.width())
            + le16(size.height()) + QByteArray::fromHex("000202440100") + ";";
}

// A bitmap header that claims side x side pixels and carries no pixels.
QByteArray bitmapHeader(quint32 side)
{
    QByteArray bytes(54, '\0');
    auto put32 = [&bytes](int offset, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = char((value >> (8 * i)) & 0xff);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, side);
    put32(22, side);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

} // namespace

class tst_PictureFetcher : public NetworkServiceTest
{
    Q_OBJECT

private slots:
    void pictureIsStoredAsThumbnail_data();
    void pictureIsStoredAsThumbnail();
    void pictureFailureAllowsRetry_data();
    void pictureFailureAllowsRetry();
    void untrustedCachedPicture_data();
    void untrustedCachedPicture();
    void releasedPictureDownloadsStop_data();
    void releasedPictureDownloadsStop();
    void queuedPicturesAreDroppedAtShutdown();
};

void tst_PictureFetcher::pictureIsStoredAsThumbnail_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("small jpeg") << QSize(120, 120) << QByteArray("jpeg");
    QTest::newRow("png") << QSize(90, 200) << QByteArray("png");
    QTest::newRow("wide png") << QSize(300, 120) << QByteArray("png");
    QTest::newRow("camera jpeg") << QSize(3000, 2250) << QByteArray("jpeg");
    QTest::newRow("huge jpeg") << QSize(7000, 7000) << QByteArray("jpeg");
}

void tst_PictureFetcher::pictureIsStoredAsThumbnail()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    serve("/art.img", TestFiles::picture(size, format.constData()));
    const QString url = this->url("/art.img");

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    // Decoded at a low priority: 12 s under a sanitizer on a busy machine.
    QTRY_COMPARE_WITH_TIMEOUT(m_spies->image.count(), 1, 60000);
    const QString path = m_spies->image.at(0).at(1).toString();
    QCOMPARE(m_spies->image.at(0).at(0).toString(), url);
    QCOMPARE(path, CacheFolder::filePath("images", url));
    QCOMPARE(requestCount(), 1);

    QCOMPARE(QImageReader(path).format(), QByteArray("jpeg"));
    const QImage stored(path);
    QCOMPARE(stored.size(), QSize(80, 80));
    for (int y : { 2, 40, 77 }) {
        QVERIFY(qGreen(stored.pixel(4, y)) > 200 && qRed(stored.pixel(4, y)) < 60);
        QVERIFY(qRed(stored.pixel(60, y)) > 200 && qGreen(stored.pixel(60, y)) < 60);
    }
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(requestCount(), 1);
    // The reply goes once its picture is stored.
    QTRY_COMPARE(m_api->findChildren<QNetworkReply *>().size(), 0);
}

void tst_PictureFetcher::pictureFailureAllowsRetry_data()
{
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QString>("message");
    const QString tooLarge = "^\"picture too large\" "
            + QString::number(QNetworkReply::OperationCanceledError) + "$";
    const QString notLoaded =
            "^void PromotionNetworkAPI::saveImage\\(QNetworkReply\\*\\)  - Failed to load image!$";
    StoreFault padded(Kind::PadBody, "/art");
    padded.bodySize = 30000;
    StoreFault notAnImage(Kind::ReplaceBody, "/art");
    notAnImage.body = "<html>no picture here</html>";
    StoreFault absurd(Kind::ReplaceBody, "/art");
    absurd.body = bitmapHeader(60000);
    StoreFault notFound(Kind::Status, "/art");
    notFound.status = 404;
    QTest::newRow("larger than announced limit") << padded << tooLarge;
    QTest::newRow("endless chunks") << StoreFault(Kind::EndlessChunked, "/art") << tooLarge;
    // Decoded whole, this 35-byte picture took 144 MB.
    StoreFault manyPixels(Kind::ReplaceBody, "/art");
    manyPixels.body = gifClaiming(QSize(5700, 5700));
    QTest::newRow("gif claiming 5700 x 5700") << manyPixels << notLoaded;
    // Found by fuzzing the earlier code: a 33-byte progressive JPEG whose
    // coefficients, held whole, took one allocation of 113 MB.
    StoreFault progressive(Kind::ReplaceBody, "/art");
    progressive.body = QByteArray::fromHex("ffd8ffc200110803ffd91003011100021101031100ffda000c03"
                                           "0100020003ffd9");
    QTest::newRow("progressive jpeg claiming 55568 x 1023") << progressive << notLoaded;
    QTest::newRow("not an image") << notAnImage << notLoaded;
    QTest::newRow("absurd declared size") << absurd << notLoaded;
    QTest::newRow("not found") << notFound
                               << "^\".*Not Found.*\" "
                    + QString::number(QNetworkReply::ContentNotFoundError) + "$";
}

void tst_PictureFetcher::pictureFailureAllowsRetry()
{
    QFETCH(StoreFault, fault);
    QFETCH(QString, message);
    m_api->setPictureSizeLimit(20000);
    serve("/art", TestFiles::picture(QSize(100, 100)));
    m_server->addFault(fault);
    const QString url = this->url("/art");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));

    m_api->getArtOfMusicItem(url);
    QTRY_VERIFY((m_api->getArtOfMusicItem(url), requestCount() == 2));
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(m_spies->image.count(), 1);
    QCOMPARE(QImage(CacheFolder::filePath("images", url)).size(), QSize(80, 80));
}

void tst_PictureFetcher::untrustedCachedPicture_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("aheadSecs");
    QTest::addColumn<int>("downloads");
    const QByteArray own = TestFiles::picture(QSize(80, 80));
    QTest::newRow("our own thumbnail") << own << 0 << 0;
    QTest::newRow("our own thumbnail, clock a little behind") << own << 30 << 0;
    QTest::newRow("dated an hour ahead") << own << 3600 << 1;
    QTest::newRow("three days old") << own << -3 * 86400 << 1;
    QTest::newRow("empty") << QByteArray() << 0 << 1;
    QTest::newRow("garbage") << QByteArray("this is not a picture\n") << 0 << 1;
    QTest::newRow("one pixel too wide") << TestFiles::picture(QSize(81, 80)) << 0 << 1;
    // The JPEG decoder pads a picture cut short with grey and calls it read.
    QTest::newRow("our own thumbnail, cut short") << own.left(own.size() / 2) << 0 << 1;
    QTest::newRow("declares 5600 x 5600") << bitmapHeader(5600) << 0 << 1;
}

void tst_PictureFetcher::untrustedCachedPicture()
{
    QFETCH(QByteArray, content);
    QFETCH(int, aheadSecs);
    QFETCH(int, downloads);
    const QString url = this->url("/art");
    const QString path = CacheFolder::filePath("images", url);
    serve("/art", TestFiles::picture(QSize(100, 100)));
    QVERIFY(QDir().mkpath(CacheFolder::folder("images")));
    QVERIFY(TestFiles::write(path, content, QDateTime::currentDateTime().addSecs(aheadSecs)));

    // Until the picture is there again the cell shows its default icon.
    QCOMPARE(m_api->getArtOfMusicItem(url).isEmpty(), downloads > 0);
    QTRY_COMPARE(m_spies->image.count(), downloads);
    QCOMPARE(m_api->getArtOfMusicItem(url), path);
    QCOMPARE(QImageReader(path).size(), QSize(80, 80));
    QCOMPARE(requestCount(), downloads);
}

void tst_PictureFetcher::releasedPictureDownloadsStop_data()
{
    QTest::addColumn<int>("keptByOtherView");
    QTest::newRow("left by its only view") << 0;
    QTest::newRow("two still shown by another view") << 2;
}

void tst_PictureFetcher::releasedPictureDownloadsStop()
{
    QFETCH(int, keptByOtherView);
    // As many as the access manager's connections to one host: while they all
    // hang, no other picture from that host can start.
    const int hanging = 6;
    m_server->setHandler(QString(), [](const StoreHttpRequest &) {
        return answerWith(TestFiles::picture(QSize(100, 100)));
    });
    m_server->addFault(fault(Kind::Hold, "/old", 0));
    QObject leftView;
    QObject otherView;
    for (int i = 0; i < hanging; ++i) {
        const QString url = this->url(QStringLiteral("/old%1").arg(i));
        m_api->retainImage(&leftView, url);
        if (i < keptByOtherView)
            m_api->retainImage(&otherView, url);
        m_api->getArtOfMusicItem(url);
    }
    QTRY_COMPARE(m_server->heldCount(), hanging);

    m_api->releaseImages(&leftView);
    const QString current = url("/current");
    m_api->retainImage(&leftView, current);
    m_api->getArtOfMusicItem(current);
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCOMPARE(m_spies->image.at(0).at(0).toString(), current);

    m_server->releaseHeld();
    QTRY_COMPARE(m_spies->image.count(), 1 + keptByOtherView);
    QCOMPARE(requestCount(), hanging + 1);
    QCOMPARE(QDir(CacheFolder::folder("images")).entryList(QDir::Files).size(),
             1 + keptByOtherView);
}

void tst_PictureFetcher::queuedPicturesAreDroppedAtShutdown()
{
    // Pictures already downloaded wait for the one decoder thread; a fetcher
    // destroyed meanwhile used to decode and store every one of them first.
    // A PNG is decoded whole, so the queue builds up behind the first.
    const int pictures = 12;
    const QByteArray large = TestFiles::picture(QSize(3000, 2250), "PNG");
    m_server->setHandler(QString(),
                         [&large](const StoreHttpRequest &) { return answerWith(large); });
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const auto stored = [&folder] { return QDir(folder.path()).entryList(QDir::Files).size(); };
    auto fetcher = std::make_unique<PictureFetcher>();
    fetcher->setCacheFolder(folder.path() + QLatin1Char('/'));
    for (int i = 0; i < pictures; ++i)
        QVERIFY(fetcher->pictureOf(url(QStringLiteral("/large%1").arg(i))).isEmpty());
    QTRY_COMPARE(requestCount(), pictures);
    QTRY_VERIFY_WITH_TIMEOUT(stored() > 0, 30000);
    const qsizetype before = stored();
    fetcher.reset();
    // Only the picture being decoded is finished.
    QVERIFY2(stored() <= before + 1,
             qPrintable(QStringLiteral("%1 stored before, %2 after").arg(before).arg(stored())));
}

QTEST_MAIN(tst_PictureFetcher)
#include "tst_picturefetcher.moc"
