#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStringEncoder>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

#include <sys/stat.h>

#include "cachefolder.h"
#include "faultharness.h"
#include "panelfixture.h"
#include "promotionnetworkapi.h"
#include "storeclientsettings.h"
#include "storefetcher.h"
#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlist.h"
#include "velloracontainer.h"
#include "velloramodel.h"
#include "velloraspinner.h"
#include "velloraview.h"

namespace {

using Kind = StoreFault::Kind;

const int TransferTimeout = 1200;
const int DownloadDeadline = 2500;
const int FailureDelay = 100;
const int OutcomeWait = 15000;
// The service's own caps; the rows about the caps set small ones.
const qint64 AnswerLimit = 8 * 1024 * 1024;
const qint64 PictureLimit = 4 * 1024 * 1024;
const qint64 SmallLimit = 64 * 1024;
const qint64 MemoryCeiling = 200 * 1024 * 1024;
// The first picture's attack has long played out when the others arrive.
const int OtherPicturesDelay = 300;

const QString Artist = QStringLiteral("The Beatles");
// Shown after each attack; its answers are not in the cache yet.
const QString NextArtist = QStringLiteral("The National");
const QString SimilarPath = QStringLiteral("/similar/");
const QString SearchPath = QStringLiteral("/artists/");

// One panel shown for the artist, and what happened on its way.
struct Run {
    VelloraView view { PanelViews::Player };
    bool noMatchesShown = false;
    int closedPictureConnections = 0;
};

struct Outcome {
    const char *label;
    bool (*reached)(const Run &);
};

// Rows whose first picture stays the default icon while every other picture
// arrives as a thumbnail.
bool firstPictureRefused(const Run &run)
{
    const QString icon = FaultHarness::defaultIconOf(PanelViews::Player);
    const SvList *list = run.view.container()->list();
    if (!FaultHarness::showsResults(run.view)
        || list->cellCount() != run.view.container()->promotionModel()->rowCount()) {
        return false;
    }
    for (int row = 0; row < list->cellCount(); ++row) {
        const auto *item = qobject_cast<const SvDetailedListItem *>(list->cellAt(row));
        const bool shown = item
            && (row == 0 ? item->imageWidget()->imageId() == icon : FaultHarness::isThumbnail(item->imageWidget()));
        if (!shown)
            return false;
    }
    return true;
}

const Outcome Rows = { "rows with thumbnails", [](const Run &run) {
                          return FaultHarness::showsResults(run.view) && FaultHarness::allThumbnails(run.view);
                      } };
const Outcome NoMatches = { "the no-matches text", [](const Run &run) {
                               return run.noMatchesShown && !run.view.spinner()->isVisible()
                                   && !FaultHarness::showsResults(run.view);
                           } };
const Outcome FirstPictureRefused = { "rows, first picture refused", firstPictureRefused };
// As above, and the client gave up the endless download.
const Outcome FirstPictureAbandoned = { "rows, first picture abandoned", [](const Run &run) {
                                           return firstPictureRefused(run) && run.closedPictureConnections > 0;
                                       } };

struct Attack {
    QList<StoreFault> faults;
    Outcome expect = Rows;
    QVariant territory;                // the store client's setting; none: the default
    std::function<void()> plant = [] {}; // into the cache, before the panel starts
    qint64 answerLimit = AnswerLimit;
    qint64 pictureLimit = PictureLimit;
};

StoreFault fault(Kind kind, const QString &path, int times = 0)
{
    StoreFault fault(kind, path);
    fault.times = times;
    return fault;
}

StoreFault replaceBody(const QString &path, const QByteArray &body)
{
    StoreFault replace = fault(Kind::ReplaceBody, path, 1);
    replace.body = body;
    return replace;
}

StoreFault padBody(const QString &path, qint64 size)
{
    StoreFault pad = fault(Kind::PadBody, path);
    pad.bodySize = size;
    return pad;
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

QByteArray png(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Everything under HOME outside the answer and picture cache, with its size
// and time of change.
QStringList homeOutsideCache()
{
    QStringList files;
    const QString cache = CacheFolder::path() + QLatin1Char('/');
    QDirIterator it(QDir::homePath(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!(info.filePath() + QLatin1Char('/')).startsWith(cache))
            files << QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size()).arg(
                info.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

// The request forms of the store; a segment never climbs.
bool withinTemplates(const StoreRequest &request)
{
    static const QRegularExpression forms(QStringLiteral(
        "^/1\\.0/[^/]+/artists/(?:[^/]+/similar/(?:tracks/|albums/)?)?$|^/pictures/(?:album|artist)/[^/]+$"));
    const QStringList segments = request.rawPath.split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        const QString decoded = QUrl::fromPercentEncoding(segment.toUtf8());
        if (decoded == QLatin1String(".") || decoded == QLatin1String(".."))
            return false;
    }
    return forms.match(request.rawPath).hasMatch();
}

} // namespace

Q_DECLARE_METATYPE(Attack)

class tst_HostileStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void attack_data();
    void attack();

private:
    bool recovers();

    PanelFixture m_fixture;
    StoreFetcher m_fetcher;
    UiGapWatch m_watch;
    QString m_artistId;
    QString m_searchUrl;
    QByteArray m_search;
    QByteArray m_similar;
    QString m_firstPicture;
};

void tst_HostileStore::initTestCase()
{
    QVERIFY(m_fixture.start());
    PromotionNetworkAPI::instance()->setTransferTimeout(TransferTimeout);
    PromotionNetworkAPI::instance()->setDownloadDeadline(DownloadDeadline);

    // The store's normal answers, the material of the attacks.
    m_fetcher.setBaseUrl(m_fixture.store().baseUrl());
    m_artistId = m_fixture.store().catalog().search(Artist).value(0)->id;
    m_searchUrl = m_fetcher.searchUrl(QString::fromLatin1(QUrl::toPercentEncoding(Artist)));
    m_search = m_fetcher.get(m_searchUrl);
    m_similar = m_fetcher.get(m_fetcher.similarUrl(m_artistId, QStringLiteral("tracks/")));
    QVERIFY(m_search.contains("<id>" + m_artistId.toUtf8() + "</id>"));
    const qsizetype link = m_similar.indexOf("href=\"") + 6;
    m_firstPicture = QString::fromUtf8(m_similar.mid(link, m_similar.indexOf('"', link) - link));
    QVERIFY(m_firstPicture.startsWith(m_fixture.store().baseUrl()));

    QVERIFY(writeFile(QDir::homePath() + QStringLiteral("/canary.png"), png(QSize(120, 120))));
    QCOMPARE(::mkfifo(QFile::encodeName(QDir::homePath() + QStringLiteral("/fifo")).constData(), 0600), 0);
}

void tst_HostileStore::init()
{
    m_fixture.reset();
}

void tst_HostileStore::cleanupTestCase()
{
    FaultHarness::printOutcomes(QStringLiteral("Hostile store"));
}

void tst_HostileStore::attack_data()
{
    QTest::addColumn<Attack>("attack");

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
    const auto similar = [&](const QByteArray &body) { return QList<StoreFault> { replaceBody(SimilarPath, body) }; };
    const auto artistId = [&](const QByteArray &id) {
        const QByteArray tag = "<id>" + m_artistId.toUtf8() + "</id>";
        const QByteArray body = QByteArray(m_search).replace(tag, "<id>" + id + "</id>");
        return QList<StoreFault> { replaceBody(SearchPath, body) };
    };
    StoreFault deep = fault(Kind::DeepNesting, SimilarPath);
    // As deep as fits under the answer cap: the parser has to refuse it.
    deep.nestingDepth = 1000000;
    QString utf16 = QString::fromUtf8(inserted(m_similar, declaration, "\n" + doctype));
    utf16.replace(QStringLiteral("UTF-8"), QStringLiteral("UTF-16"));
    const QByteArray utf16Body = QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom).encode(utf16);

    const QString searchFile = CacheFolder::filePath(QStringLiteral("queries"), m_searchUrl);
    const QByteArray nobody = QByteArray(m_search).replace(Artist.toUtf8(), "Nobody At All");
    const QString pictureFile = CacheFolder::filePath(QStringLiteral("images"), m_firstPicture);

    const QList<QPair<const char *, Attack>> attacks = {
        { "endless-chunked-answer", { { fault(Kind::EndlessChunked, SimilarPath) }, NoMatches } },
        { "endless-chunked-picture",
          { firstPicture(fault(Kind::EndlessChunked, firstPicturePath)), FirstPictureAbandoned } },
        { "answer-at-cap", { { padBody(SimilarPath, SmallLimit) }, Rows, {}, [] {}, SmallLimit } },
        { "answer-over-cap", { { padBody(SimilarPath, SmallLimit + 1) }, NoMatches, {}, [] {}, SmallLimit } },
        { "picture-at-cap",
          { { padBody(firstPicturePath, SmallLimit) }, Rows, {}, [] {}, AnswerLimit, SmallLimit } },
        { "picture-over-cap",
          { firstPicture(padBody(firstPicturePath, SmallLimit + 1)), FirstPictureRefused, {}, [] {}, AnswerLimit,
            SmallLimit } },
        { "attribute-bomb", { similar(inserted(m_similar, "<entry>", attributeBomb(200000))), NoMatches } },
        { "deep-nesting-1000000", { { deep }, NoMatches } },
        { "file-picture-link", { link("file://" + QFile::encodeName(QDir::homePath()) + "/canary.png" + bait),
                                 FirstPictureRefused } },
        { "data-picture-link",
          { link("data:image/png;x=http://" + store.mid(7) + ";base64," + png(QSize(90, 90)).toBase64()),
            FirstPictureRefused } },
        { "fifo-picture-link",
          { link("file://" + QFile::encodeName(QDir::homePath()) + "/fifo" + bait), FirstPictureRefused } },
        { "ftp-picture-link", { link("ftp://" + store.mid(7) + "/pictures/album/x.png" + bait), FirstPictureRefused } },
        { "artist-id-slash", { artistId("ar/1001"), NoMatches } },
        { "artist-id-question-mark", { artistId("ar?1001"), NoMatches } },
        { "artist-id-hash", { artistId("ar#1001"), NoMatches } },
        { "artist-id-dot-dot", { artistId(".."), NoMatches } },
        { "territory-slash", { {}, NoMatches, QStringLiteral("g/b") } },
        { "territory-question-mark", { {}, NoMatches, QStringLiteral("gb?x") } },
        { "territory-hash", { {}, NoMatches, QStringLiteral("gb#x") } },
        // Not a path segment at all: taken as no territory, so the default one serves.
        { "territory-dot-dot", { {}, Rows, QStringLiteral("..") } },
        { "nul-byte", { similar(inserted(m_similar, "</entry>", QByteArray(1, '\0'))), NoMatches } },
        { "unescaped-ampersand", { similar(inserted(m_similar, "</entry>", " & ")), NoMatches } },
        { "second-root-element", { similar(m_similar + "<feed/>\n"), NoMatches } },
        { "utf16-doctype", { similar(utf16Body), NoMatches } },
        { "doctype-in-comment", { similar(inserted(m_similar, declaration, "\n<!-- " + doctype + " -->")), Rows } },
        { "future-dated-cached-answer",
          { {}, Rows, {}, [searchFile, nobody] {
               QFile file(searchFile);
               QVERIFY(file.open(QIODevice::WriteOnly) && file.write(nobody) == nobody.size() && file.flush());
               QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
           } } },
        { "planted-picture-5600x5600",
          { {}, Rows, {}, [pictureFile] { QVERIFY(writeFile(pictureFile, png(QSize(5600, 5600)))); } } },
    };
    for (const auto &attack : attacks)
        QTest::newRow(attack.first) << attack.second;
}

void tst_HostileStore::attack()
{
    QFETCH(Attack, attack);

    FaultOutcome outcome;
    outcome.caseName = QString::fromLatin1(QTest::currentDataTag());
    outcome.view = QStringLiteral("player");
    outcome.outcome = QStringLiteral("(did not finish)");
    const auto record = qScopeGuard([&outcome] { FaultHarness::addOutcome(outcome); });

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

    auto run = std::make_unique<Run>();
    run->view.container()->promotionModel()->setFailureDelay(FailureDelay);
    FaultHarness::noteNoMatchesShown(run->view, &run->noMatchesShown);
    connect(&m_fixture.store(), &StoreServer::connectionClosed, &run->view, [&run](const StoreRequest &request) {
        run->closedPictureConnections += request.kind == StoreRequest::Kind::Picture;
    });

    FaultHarness::resetPeakMemory();
    m_watch.start();
    run->view.setDetails(Artist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    const bool reached = QTest::qWaitFor([&] { return attack.expect.reached(*run); }, OutcomeWait);
    outcome.longestGap = m_watch.stop();
    const qint64 peak = FaultHarness::peakMemory();
    outcome.outcome = reached ? QString::fromLatin1(attack.expect.label) : FaultHarness::describeView(run->view);
    QVERIFY2(reached, qPrintable(QStringLiteral("expected %1, shows %2")
                                     .arg(QLatin1String(attack.expect.label), FaultHarness::describeView(run->view))));
    QVERIFY2(outcome.longestGap < FaultHarness::UiGapCeilingMs,
             qPrintable(FaultHarness::describeGap(outcome.longestGap)));
#ifndef VELLORA_SANITIZED
    QVERIFY2(peak < MemoryCeiling, qPrintable(QStringLiteral("%1 MiB resident").arg(peak >> 20)));
#endif

    const QList<StoreRequest> log = m_fixture.store().requestLog();
    for (const StoreRequest &request : log)
        QVERIFY2(withinTemplates(request), qPrintable(request.rawPath));
    QCOMPARE(homeOutsideCache(), homeBefore);
    const QStringList problems = FaultHarness::auditCache();
    outcome.cache = FaultHarness::describeAudit(problems);
    QVERIFY2(problems.isEmpty(), qPrintable(outcome.cache));

    run.reset();
    const bool recovered = recovers();
    outcome.recovery = recovered ? QStringLiteral("results with thumbnails") : QStringLiteral("FAILED");
    QVERIFY(recovered);
}

bool tst_HostileStore::recovers()
{
    m_fixture.store().clearFaults();
    PromotionNetworkAPI::instance()->setAnswerSizeLimit(AnswerLimit);
    PromotionNetworkAPI::instance()->setPictureSizeLimit(PictureLimit);
    if (!StoreClientSettings::write(m_fixture.store().port()))
        return false;
    VelloraView view(PanelViews::Player);
    view.container()->promotionModel()->setFailureDelay(FailureDelay);
    view.setDetails(NextArtist, QStringLiteral("album"), QStringLiteral("song"), QStringLiteral("genre"));
    return QTest::qWaitFor([&] { return FaultHarness::showsResults(view) && FaultHarness::allThumbnails(view); },
                           OutcomeWait)
        && FaultHarness::auditCache().isEmpty();
}

QTEST_MAIN(tst_HostileStore)
#include "tst_hostilestore.moc"
