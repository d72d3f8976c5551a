#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

#include <sys/stat.h>

#include "cachefolder.h"
#include "faultharness.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "storeclientsettings.h"
#include "storefetcher.h"
#include "storepictures.h"
#include "testfiles.h"
#include "velloramodel.h"

namespace {

using Kind = StoreFault::Kind;

// The service's own caps; the rows about the caps set small ones.
const qint64 AnswerLimit = 8 * 1024 * 1024;
const qint64 PictureLimit = 4 * 1024 * 1024;
const qint64 SmallLimit = 64 * 1024;
const qint64 MemoryCeiling = 150 * 1024 * 1024;
const QSize HugeSize(7000, 7000);
// Real album art, as large as it comes.
const QSize ProgressiveSize(3000, 3000);
// The first picture's attack has long played out when the others arrive.
const int OtherPicturesDelay = 300;

// Shown after an attack whose answers may be in the cache.
const QString NextArtist = QStringLiteral("The National");
const QString SimilarPath = QStringLiteral("/similar/");
const QString SearchPath = QStringLiteral("/artists/");
const QString PicturePath = QStringLiteral("/pictures/");

// Rows whose first picture stays the default icon while every other picture
// arrives as a thumbnail.
bool firstPictureRefused(const PanelRun &run)
{
    const QString icon = FaultHarness::defaultIconOf(ViewNames::Player);
    const QList<PanelProbe::Row> rows = run.probe.rows();
    if (run.probe.state() != PanelProbe::State::Results || rows.size() != run.model()->rowCount())
        return false;
    for (int row = 0; row < rows.size(); ++row) {
        if (!(row == 0 ? rows.at(row).iconId == icon : FaultHarness::isThumbnail(rows.at(row))))
            return false;
    }
    return true;
}

// The request forms of the store; a segment never climbs.
bool withinTemplates(const StoreRequest &request)
{
    static const QRegularExpression forms(
            QStringLiteral("^/1\\.0/[^/]+/artists/(?:[^/]+/similar/(?:tracks/|albums/)?)?$|^/"
                           "pictures/(?:album|artist)/[^/]+$"));
    const QStringList segments = request.rawPath.split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        const QString decoded = QUrl::fromPercentEncoding(segment.toUtf8());
        if (decoded == QLatin1String(".") || decoded == QLatin1String(".."))
            return false;
    }
    return forms.match(request.rawPath).hasMatch();
}

// The store's own faults send the client elsewhere, a redirect loop even
// off the request forms; the document type must never be fetched.
bool documentTypeNotFetched(const StoreRequest &request)
{
    return !request.path.contains(QLatin1String("/_dtd/"));
}

// Thumbnails, and the rows hold the downloaded pictures.
Outcome downloaded()
{
    const Outcome rows = FaultHarness::thumbnails();
    return { rows.label, [rows](const PanelRun &run) {
                const QStringList pictures = run.pictures();
                return rows.reached(run)
                        && std::none_of(pictures.cbegin(), pictures.cend(), [](const QString &p) {
                               return p.startsWith(QLatin1String("http"));
                           });
            } };
}

// Exactly four rows with thumbnails, although the answer held more.
Outcome fourRows()
{
    const Outcome rows = FaultHarness::thumbnails();
    return { QStringLiteral("four rows"), [rows](const PanelRun &run) {
                return rows.reached(run) && run.probe.rows().size() == 4;
            } };
}

struct Attack
{
    QList<StoreFault> faults;
    Outcome expect = FaultHarness::thumbnails();
    QVariant territory; // the store client's setting; none: the default
    std::function<void()> plant = [] {}; // into the cache, before the panel starts
    qint64 answerLimit = AnswerLimit;
    qint64 pictureLimit = PictureLimit;
    QString viewName = ViewNames::Player;
    QString recoveryArtist = NextArtist;
    std::function<bool(const StoreRequest &)> requestAllowed = withinTemplates;
};

StoreFault fault(Kind kind, const QString &path, const std::function<void(StoreFault &)> &tune = {})
{
    StoreFault fault(kind, path);
    fault.times = 0;
    if (tune)
        tune(fault);
    return fault;
}

StoreFault replaceBody(const QString &path, const QByteArray &body)
{
    return fault(Kind::ReplaceBody, path, [&body](StoreFault &f) {
        f.times = 1;
        f.body = body;
    });
}

StoreFault padBody(const QString &path, qint64 size)
{
    return fault(Kind::PadBody, path, [size](StoreFault &f) { f.bodySize = size; });
}

QByteArray inserted(QByteArray body, const QByteArray &after, const QByteArray &text)
{
    return body.insert(body.indexOf(after) + after.size(), text);
}

QByteArray firstLinkReplaced(QByteArray body, const QByteArray &link)
{
    const qsizetype start = body.indexOf("href=\"") + 6;
    return body.replace(start, body.indexOf('"', start) - start, link);
}

QByteArray attributeBomb(int attributes)
{
    QByteArray tag = "<bomb";
    for (int i = 0; i < attributes; ++i)
        tag += " a" + QByteArray::number(i) + "=\"\"";
    return tag + "/>";
}

// An icon file whose one entry claims 256 x 256 and holds a PNG picture of
// size, all black: a few kilobytes.
QByteArray iconHolding(const QSize &size)
{
    QImage black(size, QImage::Format_Mono);
    black.fill(0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    black.save(&buffer, "PNG");
    QByteArray icon = QByteArray::fromHex("0000010001000000000001002000");
    for (const quint32 value : { quint32(png.size()), quint32(22) }) {
        for (int shift = 0; shift < 32; shift += 8)
            icon += char((value >> shift) & 0xff);
    }
    return icon + png;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// An ordinary picture carrying this much text: PNG text, or JPEG comments.
QByteArray pictureWithText(const char *format, int textBytes)
{
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    for (int key = 0; key * 40000 < textBytes; ++key)
        image.setText(QStringLiteral("Comment%1").arg(key),
                      QString(qMin(40000, textBytes - key * 40000), QLatin1Char('t')));
    return encoded(image, format);
}

quint32 pngCrc(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// An 80 x 80 PNG with compressed text chunks, each of which inflates to
// inflated bytes.
QByteArray pngWithCompressedTexts(int chunks, int inflated)
{
    QImage image(80, 80, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    QByteArray png = encoded(image, "PNG");
    // qCompress puts the length before the zlib stream.
    const QByteArray data = "Comment" + QByteArray(2, '\0') + qCompress(QByteArray(inflated, 'z'), 9).mid(4);
    QByteArray chunk;
    for (const quint32 value : { quint32(data.size()) }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk += char((value >> shift) & 0xff);
    }
    const QByteArray body = "zTXt" + data;
    chunk += body;
    const quint32 crc = pngCrc(body);
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char((crc >> shift) & 0xff);
    // Before the end chunk, the last twelve bytes.
    return png.insert(png.size() - 12, chunk.repeated(chunks));
}

// Everything under HOME outside the answer and picture cache, with its size
// and time of change.
QStringList homeOutsideCache()
{
    QStringList files;
    const QString cache = CacheFolder::path() + QLatin1Char('/');
    QDirIterator it(QDir::homePath(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!(info.filePath() + QLatin1Char('/')).startsWith(cache))
            files << QStringLiteral("%1 %2 %3")
                             .arg(info.filePath())
                             .arg(info.size())
                             .arg(info.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Attack)

class tst_StoreFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void attack_data();
    void attack();

private:
    PanelFixture m_fixture;
    StoreFetcher m_fetcher;
    int m_closedPictureConnections = 0;
    QString m_artistId;
    QString m_searchUrl;
    QByteArray m_search;
    QByteArray m_similar;
    QString m_firstPicture;
};

void tst_StoreFaults::initTestCase()
{
    QVERIFY(m_fixture.start());
    FaultHarness::shortenLimits();

    // The store's normal answers, the material of the attacks.
    m_fetcher.setBaseUrl(m_fixture.store().baseUrl());
    m_artistId = m_fixture.store().catalog().search(FaultHarness::artist()).value(0)->id;
    m_searchUrl = m_fetcher.artistSearchUrl(FaultHarness::artist());
    m_search = m_fetcher.get(m_searchUrl);
    m_similar = m_fetcher.get(m_fetcher.similarUrl(m_artistId, QStringLiteral("tracks/")));
    QVERIFY(m_search.contains("<id>" + m_artistId.toUtf8() + "</id>"));
    const qsizetype link = m_similar.indexOf("href=\"") + 6;
    m_firstPicture = QString::fromUtf8(m_similar.mid(link, m_similar.indexOf('"', link) - link));
    QVERIFY(m_firstPicture.startsWith(m_fixture.store().baseUrl()));

    QVERIFY(TestFiles::write(QDir::homePath() + QStringLiteral("/canary.png"),
                             TestFiles::picture(QSize(120, 120), "PNG")));
    QCOMPARE(::mkfifo(QFile::encodeName(QDir::homePath() + QStringLiteral("/fifo")).constData(),
                      0600),
             0);

    // The emulator draws the huge pictures on this thread; drawn once here,
    // they stay out of the gaps measured below.
    const QList<StoreFault> drawnOnce = {
        fault(Kind::HugePicture, PicturePath, [](StoreFault &f) { f.pictureSize = HugeSize; }),
        fault(Kind::ProgressiveJpeg, PicturePath,
              [](StoreFault &f) { f.pictureSize = ProgressiveSize; })
    };
    QNetworkAccessManager manager;
    for (const StoreFault &picture : drawnOnce) {
        m_fixture.store().clearFaults();
        m_fixture.store().addFault(picture);
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(
                QUrl(m_fixture.store().baseUrl() + QStringLiteral("/pictures/warm/up.jpg")))));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), FaultHarness::OutcomeWaitMs);
        QCOMPARE(reply->error(), QNetworkReply::NoError);
    }
}

void tst_StoreFaults::init()
{
    m_fixture.reset();
}

void tst_StoreFaults::attack_data()
{
    QTest::addColumn<Attack>("attack");

    const Outcome rows = FaultHarness::thumbnails();
    const Outcome noMatches = FaultHarness::noMatches();
    const Outcome refused = { QStringLiteral("rows, first picture refused"), firstPictureRefused };
    // As above, and the client gave up the endless download.
    const Outcome abandoned = { QStringLiteral("rows, first picture abandoned"),
                                [this](const PanelRun &run) {
                                    return firstPictureRefused(run)
                                            && m_closedPictureConnections > 0;
                                } };

    const QString firstPicturePath = QUrl(m_firstPicture).path();
    const QByteArray store = m_fixture.store().baseUrl().toUtf8();
    const QByteArray doctype = "<!DOCTYPE feed SYSTEM \"" + store + "/_dtd/store.dtd\">";
    const QByteArray declaration = "?>";
    // Hostile links carry "http://" too: a panel that looks for it anywhere in
    // the text takes them for web addresses.
    const QByteArray bait = "?http://" + store.mid(7);
    // The first picture is attacked; the others come later and tell when to look.
    const auto firstPicture = [&](const StoreFault &attack) {
        StoreFault others = fault(Kind::Delay, QStringLiteral("/pictures/"));
        others.delayMs = OtherPicturesDelay;
        return QList<StoreFault> { attack, others };
    };
    const auto link = [&](const QByteArray &target) {
        return firstPicture(replaceBody(SimilarPath, firstLinkReplaced(m_similar, target)));
    };
    const auto similar = [&](const QByteArray &body) {
        return QList<StoreFault> { replaceBody(SimilarPath, body) };
    };
    StoreFault deep = fault(Kind::DeepNesting, SimilarPath);
    // As deep as fits under the answer cap: the parser has to refuse it.
    deep.nestingDepth = 1000000;
    QString utf16 = QString::fromUtf8(inserted(m_similar, declaration, "\n" + doctype));
    utf16.replace(QStringLiteral("UTF-8"), QStringLiteral("UTF-16"));
    const QByteArray utf16Body =
            QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom).encode(utf16);

    const QString searchFile = CacheFolder::filePath(QStringLiteral("queries"), m_searchUrl);
    const QByteArray nobody =
            QByteArray(m_search).replace(FaultHarness::artist().toUtf8(), "Nobody At All");
    const QString pictureFile = CacheFolder::filePath(QStringLiteral("images"), m_firstPicture);

    const QList<QPair<const char *, Attack>> attacks = {
        { "endless-chunked-answer", { { fault(Kind::EndlessChunked, SimilarPath) }, noMatches } },
        { "endless-chunked-picture",
          { firstPicture(fault(Kind::EndlessChunked, firstPicturePath)), abandoned } },
        { "answer-at-cap", { { padBody(SimilarPath, SmallLimit) }, rows, {}, [] {}, SmallLimit } },
        { "answer-over-cap",
          { { padBody(SimilarPath, SmallLimit + 1) }, noMatches, {}, [] {}, SmallLimit } },
        { "picture-at-cap",
          { { padBody(firstPicturePath, SmallLimit) }, rows, {}, [] {}, AnswerLimit, SmallLimit } },
        { "picture-over-cap",
          { firstPicture(padBody(firstPicturePath, SmallLimit + 1)),
            refused,
            {},
            [] {},
            AnswerLimit,
            SmallLimit } },
        { "attribute-bomb",
          { similar(inserted(m_similar, "<entry>", attributeBomb(200000))), noMatches } },
        { "deep-nesting-1000000", { { deep }, noMatches } },
        { "file-picture-link",
          { link("file://" + QFile::encodeName(QDir::homePath()) + "/canary.png" + bait),
            refused } },
        { "data-picture-link",
          { link("data:image/png;x=http://" + store.mid(7) + ";base64,"
                 + TestFiles::picture(QSize(90, 90), "PNG").toBase64()),
            refused } },
        { "fifo-picture-link",
          { link("file://" + QFile::encodeName(QDir::homePath()) + "/fifo" + bait), refused } },
        { "ftp-picture-link",
          { link("ftp://" + store.mid(7) + "/pictures/album/x.png" + bait), refused } },
        { "nul-byte",
          { similar(inserted(m_similar, "</entry>", QByteArray(1, '\0'))), noMatches } },
        { "utf16-doctype", { similar(utf16Body), noMatches } },
        { "future-dated-cached-answer",
          { {},
            rows,
            {},
            [searchFile, nobody] {
                QFile file(searchFile);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(nobody) == nobody.size()
                        && file.flush());
                QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1),
                                         QFileDevice::FileModificationTime));
            } } },
        // Every picture of the panel: the decoder holds a progressive picture
        // whole as coefficients (four of these took the host to 430 MB) and
        // makes a pass over it for each scan (4000 empty ones: minutes).
        { "progressive-jpeg-8192x8192",
          { { fault(Kind::ProgressiveJpegBomb, PicturePath,
                    [](StoreFault &f) { f.pictureSize = QSize(8192, 8192); }) },
            FaultHarness::defaultIcons(QStringLiteral("Failed to load image!")) } },
        { "jpeg-4000-empty-scans",
          { { fault(Kind::JpegScanFlood, PicturePath,
                    [](StoreFault &f) {
                        f.pictureSize = QSize(3000, 3000);
                        f.scans = 4000;
                    }) },
            FaultHarness::defaultIcons(QStringLiteral("Failed to load image!")) } },
        { "progressive-picture-3000x3000",
          { { fault(Kind::ProgressiveJpeg, PicturePath,
                    [](StoreFault &f) { f.pictureSize = ProgressiveSize; }) },
            downloaded() } },
        { "planted-picture-5600x5600",
          { {},
            rows,
            {},
            [pictureFile] {
                QVERIFY(TestFiles::write(pictureFile,
                                         TestFiles::picture(QSize(5600, 5600), "PNG")));
            } } },
        // 267 bytes: the decoder takes the first frame header, 5600 x 5600 in
        // three components, and a look at the markers the last, 80 x 80.
        { "planted-jpeg-with-two-frame-headers",
          { {},
            rows,
            {},
            [pictureFile] {
                QByteArray jpeg =
                        StorePictures::handMadeProgressiveJpeg(QSize(5600, 5600), 3, 1, false);
                jpeg.insert(jpeg.size() - 2, QByteArray::fromHex("ffc0000b080050005001011100"));
                QVERIFY(TestFiles::write(pictureFile, jpeg));
            } } },
        // 154 KB of text chunks inflated to 158 MB in the decoder, just to tell the size.
        { "png-with-20-compressed-texts",
          { firstPicture(replaceBody(firstPicturePath, pngWithCompressedTexts(20, 7900000))),
            rows } },
        // Eight bytes a pixel: 99 KB that cost 223 MB.
        { "png-16-bit-4000x3000",
          { firstPicture(replaceBody(firstPicturePath, [] {
                QImage image(4000, 3000, QImage::Format_RGBA64);
                image.fill(Qt::darkGreen);
                return encoded(image, "PNG");
            }())),
            refused } },
        // Not progressive, yet held whole as coefficients: 787 KB that took 438 MB.
        { "jpeg-one-scan-per-component-8192x8192",
          { firstPicture(replaceBody(firstPicturePath,
                                     StorePictures::handMadeBaselineJpeg(QSize(8192, 8192), 3))),
            refused } },
        // Kept in the thumbnail, the text made it larger than a thumbnail is read.
        { "png-with-120-kb-of-text",
          { firstPicture(replaceBody(firstPicturePath, pictureWithText("PNG", 120000))), rows } },
        { "jpeg-with-80-kb-of-comments",
          { firstPicture(replaceBody(firstPicturePath, pictureWithText("JPEG", 80000))), rows } },
        // An icon's directory says 256 x 256; the picture it holds is not.
        { "icon-holding-5790x5790",
          { firstPicture(replaceBody(firstPicturePath, iconHolding(QSize(5790, 5790)))),
            refused } },
    };
    for (const auto &attack : attacks)
        QTest::newRow(attack.first) << attack.second;

    // Every view meets the store's own faults; the same artist shows after,
    // so that the cache must not keep the fault.
    const auto status = [](int code) {
        return fault(Kind::Status, SimilarPath, [code](StoreFault &f) { f.status = code; });
    };
    const Outcome results = downloaded();
    const Outcome defaultIcons =
            FaultHarness::defaultIcons(QStringLiteral("Failed to load image!"));
    const QList<QPair<const char *, QPair<StoreFault, Outcome>>> cases = {
        { "delay",
          { fault(Kind::Delay, SimilarPath, [](StoreFault &f) { f.delayMs = 400; }), results } },
        { "stall", { fault(Kind::Stall, SimilarPath), noMatches } },
        { "stall-after-headers", { fault(Kind::StallAfterHeaders, SimilarPath), noMatches } },
        { "drip-1-byte-per-second",
          { fault(Kind::Drip, SimilarPath, [](StoreFault &f) { f.intervalMs = 1000; }),
            noMatches } },
        { "status-401", { status(401), noMatches } },
        { "status-404", { status(404), noMatches } },
        { "status-500", { status(500), noMatches } },
        { "cut-body", { fault(Kind::CutBody, SimilarPath), noMatches } },
        // The transfer looks whole, but the document ends inside its root element.
        { "cut-body-no-length", { fault(Kind::CutBodyNoLength, SimilarPath), noMatches } },
        { "chunked-without-last-chunk",
          { fault(Kind::ChunkedWithoutLastChunk, SimilarPath), noMatches } },
        { "connection-reset", { fault(Kind::ConnectionReset, SimilarPath), noMatches } },
        { "redirect-loop", { fault(Kind::RedirectLoop, SimilarPath), noMatches } },
        { "malformed-xml", { fault(Kind::MalformedXml, SimilarPath), noMatches } },
        { "html-error-page", { fault(Kind::HtmlErrorPage, SimilarPath), noMatches } },
        { "doctype", { fault(Kind::Doctype, SimilarPath), noMatches } },
        { "empty-body", { fault(Kind::EmptyBody, SimilarPath), noMatches } },
        { "entity-bomb", { fault(Kind::EntityBomb, SimilarPath), noMatches } },
        { "deep-nesting-100000",
          { fault(Kind::DeepNesting, SimilarPath, [](StoreFault &f) { f.nestingDepth = 100000; }),
            noMatches } },
        { "extra-entries",
          { fault(Kind::ExtraEntries, SimilarPath, [](StoreFault &f) { f.extraEntries = 6; }),
            fourRows() } },
        { "not-an-image", { fault(Kind::NotAnImage, PicturePath), defaultIcons } },
        { "truncated-jpeg", { fault(Kind::TruncatedJpeg, PicturePath), defaultIcons } },
        { "jpeg-claiming-65000", { fault(Kind::JpegClaimingHugeSize, PicturePath), defaultIcons } },
        // Only the JPEG pictures: a JPEG can be decoded at an eighth of its size.
        { "picture-7000x7000",
          { fault(Kind::HugePicture, QStringLiteral(".jpg"),
                  [](StoreFault &f) { f.pictureSize = HugeSize; }),
            results } },
    };
    for (const QString &view : { ViewNames::Player, ViewNames::Album, ViewNames::Artist }) {
        for (const auto &c : cases) {
            const QString tag =
                    QString::fromLatin1(c.first) + QLatin1Char('/') + FaultHarness::viewLabel(view);
            Attack attack { { c.second.first }, c.second.second };
            attack.viewName = view;
            attack.recoveryArtist = FaultHarness::artist();
            attack.requestAllowed = documentTypeNotFetched;
            QTest::newRow(qPrintable(tag)) << attack;
        }
    }
}

void tst_StoreFaults::attack()
{
    QFETCH(Attack, attack);

    PromotionNetworkAPI *network = PromotionNetworkAPI::instance();
    network->setAnswerSizeLimit(attack.answerLimit);
    network->setPictureSizeLimit(attack.pictureLimit);
    QVERIFY(StoreClientSettings::write(m_fixture.store().port(), QString(), attack.territory));
    attack.plant();
    if (QTest::currentTestFailed())
        return;
    for (const StoreFault &fault : std::as_const(attack.faults))
        m_fixture.store().addFault(fault);
    const QStringList homeBefore = homeOutsideCache();

    auto run = std::make_unique<PanelRun>(attack.viewName);
    m_closedPictureConnections = 0;
    connect(&m_fixture.store(), &StoreServer::connectionClosed, &run->view,
            [this](const StoreRequest &request) {
                m_closedPictureConnections += request.kind == StoreRequest::Kind::Picture;
            });

    FaultHarness::resetPeakMemory();
    const Awaited result = FaultHarness::await(*run, attack.expect, FaultHarness::artist());
    // Read at once; sanitized runs keep memory of their own and skip the ceiling.
    [[maybe_unused]] const qint64 peak = FaultHarness::peakMemory();
    QVERIFY2(result.reached,
             qPrintable(QStringLiteral("expected %1, shows %2")
                                .arg(attack.expect.label, result.shown)));
    QVERIFY2(result.longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(result.longestGap)));
#ifndef VELLORA_SANITIZED
    QVERIFY2(peak < MemoryCeiling, qPrintable(QStringLiteral("%1 MiB resident").arg(peak >> 20)));
#endif

    const QList<StoreRequest> log = m_fixture.store().requestLog();
    for (const StoreRequest &request : log)
        QVERIFY2(attack.requestAllowed(request), qPrintable(request.rawPath));
    QCOMPARE(homeOutsideCache(), homeBefore);
    const QStringList problems = FaultHarness::auditCache();
    QVERIFY2(problems.isEmpty(), qPrintable(FaultHarness::describeAudit(problems)));

    run.reset();
    m_fixture.store().clearFaults();
    network->setAnswerSizeLimit(AnswerLimit);
    network->setPictureSizeLimit(PictureLimit);
    QVERIFY(StoreClientSettings::write(m_fixture.store().port()));
    QVERIFY(FaultHarness::recovers(attack.viewName, attack.recoveryArtist));
}

QTEST_MAIN(tst_StoreFaults)
#include "tst_storefaults.moc"
