#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <algorithm>
#include <memory>

#include "faultharness.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"

Q_DECLARE_METATYPE(StoreFault)
Q_DECLARE_METATYPE(Outcome)

namespace {

using Kind = StoreFault::Kind;

const QSize HugeSize(7000, 7000);

const QString SimilarPath = QStringLiteral("/similar/");
const QString PicturePath = QStringLiteral("/pictures/");

StoreFault fault(Kind kind, const QString &path, const std::function<void(StoreFault &)> &tune = {})
{
    StoreFault fault(kind, path);
    fault.times = 0;
    if (tune)
        tune(fault);
    return fault;
}

// Thumbnails, and the rows hold the downloaded pictures.
Outcome downloaded()
{
    const Outcome rows = FaultHarness::thumbnails();
    return { rows.label, [rows](const PanelRun &run) {
                const QStringList pictures = run.pictures();
                return rows.reached(run) && std::none_of(pictures.cbegin(), pictures.cend(), [](const QString &p) {
                           return p.startsWith(QLatin1String("http"));
                       });
            } };
}

// Exactly four rows with thumbnails, although the answer held more.
Outcome fourRows()
{
    const Outcome rows = FaultHarness::thumbnails();
    return { QStringLiteral("four rows"),
             [rows](const PanelRun &run) { return rows.reached(run) && run.probe.rows().size() == 4; } };
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
    PanelFixture m_fixture;
};

void tst_StoreFaults::initTestCase()
{
    QVERIFY(m_fixture.start());
    FaultHarness::shortenLimits();

    // The emulator draws the huge picture on this thread; drawn once here,
    // it stays out of the gaps measured below.
    m_fixture.store().addFault(fault(Kind::HugePicture, PicturePath, [](StoreFault &f) { f.pictureSize = HugeSize; }));
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(
        manager.get(QNetworkRequest(QUrl(m_fixture.store().baseUrl() + QStringLiteral("/pictures/warm/up.jpg")))));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), FaultHarness::OutcomeWaitMs);
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
    QTest::addColumn<Outcome>("expect");

    const auto status = [](int code) { return fault(Kind::Status, SimilarPath, [code](StoreFault &f) { f.status = code; }); };
    const Outcome noMatches = FaultHarness::noMatches();
    const Outcome results = downloaded();
    const Outcome defaultIcons = FaultHarness::defaultIcons(QStringLiteral("Failed to load image!"));
    const QList<QPair<const char *, QPair<StoreFault, Outcome>>> cases = {
        { "delay", { fault(Kind::Delay, SimilarPath, [](StoreFault &f) { f.delayMs = 400; }), results } },
        { "stall", { fault(Kind::Stall, SimilarPath), noMatches } },
        { "stall-after-headers", { fault(Kind::StallAfterHeaders, SimilarPath), noMatches } },
        { "drip-1-byte-per-second",
          { fault(Kind::Drip, SimilarPath, [](StoreFault &f) { f.intervalMs = 1000; }), noMatches } },
        { "status-401", { status(401), noMatches } },
        { "status-404", { status(404), noMatches } },
        { "status-500", { status(500), noMatches } },
        { "cut-body", { fault(Kind::CutBody, SimilarPath), noMatches } },
        // The transfer looks whole, but the document ends inside its root element.
        { "cut-body-no-length", { fault(Kind::CutBodyNoLength, SimilarPath), noMatches } },
        { "chunked-without-last-chunk", { fault(Kind::ChunkedWithoutLastChunk, SimilarPath), noMatches } },
        { "connection-reset", { fault(Kind::ConnectionReset, SimilarPath), noMatches } },
        { "redirect-loop", { fault(Kind::RedirectLoop, SimilarPath), noMatches } },
        { "malformed-xml", { fault(Kind::MalformedXml, SimilarPath), noMatches } },
        { "html-error-page", { fault(Kind::HtmlErrorPage, SimilarPath), noMatches } },
        { "doctype", { fault(Kind::Doctype, SimilarPath), noMatches } },
        { "empty-body", { fault(Kind::EmptyBody, SimilarPath), noMatches } },
        { "entity-bomb", { fault(Kind::EntityBomb, SimilarPath), noMatches } },
        { "deep-nesting-100000",
          { fault(Kind::DeepNesting, SimilarPath, [](StoreFault &f) { f.nestingDepth = 100000; }), noMatches } },
        { "extra-entries",
          { fault(Kind::ExtraEntries, SimilarPath, [](StoreFault &f) { f.extraEntries = 6; }), fourRows() } },
        { "not-an-image", { fault(Kind::NotAnImage, PicturePath), defaultIcons } },
        { "truncated-jpeg", { fault(Kind::TruncatedJpeg, PicturePath), defaultIcons } },
        { "jpeg-claiming-65000", { fault(Kind::JpegClaimingHugeSize, PicturePath), defaultIcons } },
        // Only the JPEG pictures: a JPEG can be decoded at an eighth of its size.
        { "picture-7000x7000",
          { fault(Kind::HugePicture, QStringLiteral(".jpg"), [](StoreFault &f) { f.pictureSize = HugeSize; }),
            results } },
    };
    for (const QString &view : { ViewNames::Player, ViewNames::Album, ViewNames::Artist }) {
        for (const auto &c : cases) {
            const QString tag = QString::fromLatin1(c.first) + QLatin1Char('/') + FaultHarness::viewLabel(view);
            QTest::newRow(qPrintable(tag)) << view << c.second.first << c.second.second;
        }
    }
}

void tst_StoreFaults::matrix()
{
    QFETCH(QString, viewName);
    QFETCH(StoreFault, fault);
    QFETCH(Outcome, expect);

    FaultOutcome outcome(QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char('/'), 0, 0),
                         FaultHarness::viewLabel(viewName));
    m_fixture.store().addFault(fault);
    auto run = std::make_unique<PanelRun>(viewName);
    const bool reached = FaultHarness::await(*run, expect, FaultHarness::artist(), &outcome);
    QVERIFY2(reached, qPrintable(outcome.outcome + QStringLiteral(", cache: ")
                                 + FaultHarness::describeAudit(FaultHarness::auditCache())));
    QVERIFY2(outcome.longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(outcome.longestGap)));
    const QList<StoreRequest> log = m_fixture.store().requestLog();
    QVERIFY2(std::none_of(log.cbegin(), log.cend(),
                          [](const StoreRequest &r) { return r.path.contains(QLatin1String("/_dtd/")); }),
             "the document type was fetched");

    const QStringList problems = FaultHarness::auditCache();
    outcome.cache = FaultHarness::describeAudit(problems);
    QVERIFY2(problems.isEmpty(), qPrintable(outcome.cache));

    run.reset();
    m_fixture.store().clearFaults();
    const bool recovered = FaultHarness::recovers(viewName, FaultHarness::artist());
    outcome.recovery = recovered ? QStringLiteral("results with thumbnails") : QStringLiteral("FAILED");
    QVERIFY(recovered);
}

QTEST_MAIN(tst_StoreFaults)
#include "tst_storefaults.moc"
