#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "faultharness.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlist.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"

Q_DECLARE_METATYPE(StoreFault)

namespace {

using Kind = StoreFault::Kind;

// Short enough that the stalled and dripping answers end by our own limits
// within seconds; the drip's one byte a second stays under the pause limit,
// so only the overall deadline can end it.
const int TransferTimeout = 1200;
const int DownloadDeadline = 2500;
const int FailureDelay = 100;
const int OutcomeWait = 15000;
const int PictureRole = Qt::UserRole + 3;
const QSize HugeSize(7000, 7000);

const QString Artist = QStringLiteral("The Beatles");
const QString SimilarPath = QStringLiteral("/similar/");
const QString PicturePath = QStringLiteral("/pictures/");

enum class Expect {
    NoMatches,    // the no-matches text in the loading row, then the panel stays empty
    Results,      // rows with their pictures as 80 x 80 thumbnails
    FourRows,     // exactly four rows although the answer held more
    DefaultIcons, // rows whose pictures stay the view's default icon
};

QString describe(Expect expect)
{
    switch (expect) {
    case Expect::NoMatches: return QStringLiteral("no-matches text");
    case Expect::Results: return QStringLiteral("results");
    case Expect::FourRows: return QStringLiteral("four rows");
    case Expect::DefaultIcons: return QStringLiteral("default icons");
    }
    return QString();
}

StoreFault fault(Kind kind, const QString &path)
{
    StoreFault fault(kind, path);
    fault.times = 0;
    return fault;
}

QStringList pictureFields(VelloraModel *model)
{
    QStringList pictures;
    for (int row = 0; row < model->rowCount(); ++row)
        pictures << model->data(model->index(row, 0), PictureRole).toString();
    return pictures;
}

bool allPicturesDownloaded(VelloraModel *model)
{
    const QStringList pictures = pictureFields(model);
    return !pictures.isEmpty() && std::none_of(pictures.cbegin(), pictures.cend(), [](const QString &picture) {
        return picture.startsWith(QLatin1String("http"));
    });
}

} // namespace

class tst_StoreFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void matrix_data();
    void matrix();

private:
    // A fresh panel of the view, handed the artist; true once it shows
    // results whose pictures are all thumbnails.
    bool recovers(const QString &viewName);

    PanelFixture m_fixture;
    UiGapWatch m_watch;
};

void tst_StoreFaults::initTestCase()
{
    QVERIFY(m_fixture.start());
    PromotionNetworkAPI::instance()->setTransferTimeout(TransferTimeout);
    PromotionNetworkAPI::instance()->setDownloadDeadline(DownloadDeadline);

    // The emulator draws the huge picture on this thread; drawn once here,
    // it stays out of the gaps measured below.
    StoreFault warmUp(Kind::HugePicture, PicturePath);
    warmUp.pictureSize = HugeSize;
    m_fixture.store().addFault(warmUp);
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(
        manager.get(QNetworkRequest(QUrl(m_fixture.store().baseUrl() + QStringLiteral("/pictures/warm/up.jpg")))));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), OutcomeWait);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
}

void tst_StoreFaults::init()
{
    m_fixture.reset();
}

void tst_StoreFaults::cleanupTestCase()
{
    FaultHarness::printOutcomes(QStringLiteral("Store faults"));
}

void tst_StoreFaults::matrix_data()
{
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<Expect>("expect");

    struct Case {
        const char *name;
        StoreFault fault;
        Expect expect;
    };
    StoreFault delay = fault(Kind::Delay, SimilarPath);
    delay.delayMs = 400;
    StoreFault drip = fault(Kind::Drip, SimilarPath);
    drip.intervalMs = 1000;
    StoreFault unauthorised = fault(Kind::Status, SimilarPath);
    unauthorised.status = 401;
    StoreFault notFound = fault(Kind::Status, SimilarPath);
    notFound.status = 404;
    StoreFault serverError = fault(Kind::Status, SimilarPath);
    serverError.status = 500;
    StoreFault deep = fault(Kind::DeepNesting, SimilarPath);
    deep.nestingDepth = 100000;
    StoreFault extra = fault(Kind::ExtraEntries, SimilarPath);
    extra.extraEntries = 6;
    // Only the JPEG pictures: a JPEG can be decoded at an eighth of its size.
    StoreFault huge = fault(Kind::HugePicture, QStringLiteral(".jpg"));
    huge.pictureSize = HugeSize;

    const QList<Case> cases = {
        { "delay", delay, Expect::Results },
        { "stall", fault(Kind::Stall, SimilarPath), Expect::NoMatches },
        { "stall-after-headers", fault(Kind::StallAfterHeaders, SimilarPath), Expect::NoMatches },
        { "drip-1-byte-per-second", drip, Expect::NoMatches },
        { "status-401", unauthorised, Expect::NoMatches },
        { "status-404", notFound, Expect::NoMatches },
        { "status-500", serverError, Expect::NoMatches },
        { "cut-body", fault(Kind::CutBody, SimilarPath), Expect::NoMatches },
        // The transfer looks whole, but the document ends inside its root element.
        { "cut-body-no-length", fault(Kind::CutBodyNoLength, SimilarPath), Expect::NoMatches },
        { "chunked-without-last-chunk", fault(Kind::ChunkedWithoutLastChunk, SimilarPath), Expect::NoMatches },
        { "connection-reset", fault(Kind::ConnectionReset, SimilarPath), Expect::NoMatches },
        { "redirect-loop", fault(Kind::RedirectLoop, SimilarPath), Expect::NoMatches },
        { "malformed-xml", fault(Kind::MalformedXml, SimilarPath), Expect::NoMatches },
        { "html-error-page", fault(Kind::HtmlErrorPage, SimilarPath), Expect::NoMatches },
        { "doctype", fault(Kind::Doctype, SimilarPath), Expect::NoMatches },
        { "empty-body", fault(Kind::EmptyBody, SimilarPath), Expect::NoMatches },
        { "entity-bomb", fault(Kind::EntityBomb, SimilarPath), Expect::NoMatches },
        { "deep-nesting-100000", deep, Expect::NoMatches },
        { "extra-entries", extra, Expect::FourRows },
        { "not-an-image", fault(Kind::NotAnImage, PicturePath), Expect::DefaultIcons },
        { "truncated-jpeg", fault(Kind::TruncatedJpeg, PicturePath), Expect::DefaultIcons },
        { "jpeg-claiming-65000", fault(Kind::JpegClaimingHugeSize, PicturePath), Expect::DefaultIcons },
        { "picture-7000x7000", huge, Expect::Results },
    };
    for (const QString &view : { PanelViews::Player, PanelViews::Album, PanelViews::Artist }) {
        for (const Case &c : cases) {
            const QString tag = QString::fromLatin1(c.name) + QLatin1Char('/') + FaultHarness::viewLabel(view);
            QTest::newRow(qPrintable(tag)) << view << c.fault << c.expect;
        }
    }
}

void tst_StoreFaults::matrix()
{
    QFETCH(QString, viewName);
    QFETCH(StoreFault, fault);
    QFETCH(Expect, expect);

    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    FaultOutcome outcome;
    outcome.caseName = tag.section(QLatin1Char('/'), 0, 0);
    outcome.view = FaultHarness::viewLabel(viewName);
    outcome.outcome = QStringLiteral("(did not finish)");
    const auto record = qScopeGuard([&outcome] { FaultHarness::addOutcome(outcome); });

    m_fixture.store().addFault(fault);
    DebugLineCounter failedPictures(QStringLiteral("Failed to load image!"));
    auto view = std::make_unique<VelloraView>(viewName);
    VelloraModel *model = view->container()->promotionModel();
    model->setFailureDelay(FailureDelay);
    bool noMatchesShown = false;
    FaultHarness::noteNoMatchesShown(*view, &noMatchesShown);

    m_watch.start();
    view->setDetails(Artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    switch (expect) {
    case Expect::NoMatches:
        QTRY_VERIFY2_WITH_TIMEOUT(noMatchesShown && !view->spinner()->isVisible(),
                                  qPrintable(FaultHarness::describeView(*view) + QStringLiteral(", cache: ")
                                             + FaultHarness::describeAudit(FaultHarness::auditCache())),
                                  OutcomeWait);
        QVERIFY(!FaultHarness::showsResults(*view));
        break;
    case Expect::Results:
        QTRY_VERIFY_WITH_TIMEOUT(FaultHarness::showsResults(*view) && allPicturesDownloaded(model)
                                     && FaultHarness::allThumbnails(*view),
                                 OutcomeWait);
        break;
    case Expect::FourRows:
        QTRY_VERIFY_WITH_TIMEOUT(FaultHarness::showsResults(*view) && FaultHarness::allThumbnails(*view), OutcomeWait);
        QCOMPARE(model->rowCount(), 4);
        break;
    case Expect::DefaultIcons: {
        QTRY_VERIFY_WITH_TIMEOUT(FaultHarness::showsResults(*view), OutcomeWait);
        const QStringList fields = pictureFields(model);
        const int pictures = int(QSet<QString>(fields.cbegin(), fields.cend()).size());
        QTRY_COMPARE_WITH_TIMEOUT(failedPictures.count(), pictures, OutcomeWait);
        const QString icon = FaultHarness::defaultIconOf(viewName);
        QVERIFY(FaultHarness::allCellsShow(*view, [&icon](const SvImageWidget *image) { return image->imageId() == icon; }));
        break;
    }
    }
    outcome.longestGap = m_watch.stop();
    outcome.outcome = expect == Expect::NoMatches && noMatchesShown ? describe(expect)
                                                                     : FaultHarness::describeView(*view);
    QVERIFY2(outcome.longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(outcome.longestGap)));
    if (fault.kind == Kind::Doctype) {
        const QList<StoreRequest> log = m_fixture.store().requestLog();
        QVERIFY2(std::none_of(log.cbegin(), log.cend(),
                              [](const StoreRequest &r) { return r.path.contains(QLatin1String("/_dtd/")); }),
                 "the document type was fetched");
    }

    const QStringList problems = FaultHarness::auditCache();
    outcome.cache = FaultHarness::describeAudit(problems);
    QVERIFY2(problems.isEmpty(), qPrintable(outcome.cache));

    view.reset();
    m_fixture.store().clearFaults();
    const bool recovered = recovers(viewName);
    outcome.recovery = recovered ? QStringLiteral("results with thumbnails") : QStringLiteral("FAILED");
    QVERIFY(recovered);
}

bool tst_StoreFaults::recovers(const QString &viewName)
{
    VelloraView view(viewName);
    view.container()->promotionModel()->setFailureDelay(FailureDelay);
    view.setDetails(Artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    return QTest::qWaitFor([&] {
        return FaultHarness::showsResults(view) && FaultHarness::allThumbnails(view);
    }, OutcomeWait) && FaultHarness::auditCache().isEmpty();
}

QTEST_MAIN(tst_StoreFaults)
#include "tst_storefaults.moc"
