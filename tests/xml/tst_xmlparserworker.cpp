#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

#include "messagerecorder.h"
#include "promotionxmlparser.h"
#include "promotionxmlparser_p.h"
#include "xmlstructurecheck.h"
#include "xmltestsupport.h"

using namespace XmlTestSupport;

class tst_XmlParserWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void setDataOnIdleParserStoresDocument();
    void setDataDuringParseDiscardsRequest();
    void twoRequestsInARow();
    void emptyDocumentEmitsNothing();
    void priorityFollowsFlag_data();
    void priorityFollowsFlag();
    void destructionDuringParse();
    void structureScanHeedsAbort_data();
    void structureScanHeedsAbort();
    void setDataTimeoutRefusesRequests();
    void destructorWaitsPastTimeout();
    void absurdDocumentReleasesWorker_data();
    void absurdDocumentReleasesWorker();

private:
    QByteArray m_largeFeed;
    const StoreQueries::QuerySet m_search = StoreQueries::artistSearch();
};

namespace {

// Queues a call that holds the worker's event loop until the gate opens, so the worker stays
// busy for as long as a test needs; the request's own call runs after it.
struct WorkerBlocker
{
    QSemaphore started;
    QSemaphore gate;
    std::atomic<bool> done { false };

    void block(PromotionXmlParserPrivate *worker)
    {
        QMetaObject::invokeMethod(
                worker,
                [this] {
                    started.release();
                    gate.acquire();
                    done = true;
                },
                Qt::QueuedConnection);
    }
};

QSemaphore *s_gate = nullptr;
QtMessageHandler s_previousHandler = nullptr;

// Opens the gate when the destructor reports that the worker outlived its wait.
void openGateOnQuitMessage(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    if (message.contains(QLatin1String("Thread didn't quit properly!")))
        s_gate->release();
    s_previousHandler(type, context, message);
}

} // namespace

void tst_XmlParserWorker::initTestCase()
{
    // Big enough that running its queries to the end would take seconds.
    m_largeFeed = feedOfEntries(100000);
}

void tst_XmlParserWorker::setDataOnIdleParserStoresDocument()
{
    PromotionXmlParser parser(nullptr);
    QSignalSpy parseReadySpy(&parser, &PromotionXmlParser::parseReady);
    parser.setData(feedOfEntries(1));
    parser.setData(feedOfEntries(2));
    request(parser, m_search);
    QVERIFY(parseReadySpy.wait());
    QCOMPARE(parser.getResultsMap().size(), 2);
    // The rows are handed over once.
    QVERIFY(parser.getResultsMap().isEmpty());
}

void tst_XmlParserWorker::setDataDuringParseDiscardsRequest()
{
    PromotionXmlParser parser(nullptr);
    QSignalSpy parseReadySpy(&parser, &PromotionXmlParser::parseReady);
    parser.setData(m_largeFeed);
    request(parser, m_search);
    parser.setData(feedOfEntries(3));

    QCoreApplication::processEvents();
    QCOMPARE(parseReadySpy.count(), 0);
    QVERIFY(parser.getResultsMap().isEmpty());

    request(parser, m_search);
    QVERIFY(parseReadySpy.wait());
    QCOMPARE(parseReadySpy.count(), 1);
    QCOMPARE(parser.getResultsMap().size(), 3);
}

// The second request starts from the parseReady() handler while the worker thread is still
// winding down, and must see nothing of the first one: "title" is asked for but not queried.
void tst_XmlParserWorker::twoRequestsInARow()
{
    StoreQueries::QuerySet ids = m_search;
    ids.queries.removeFirst();
    ids.columns = QStringList { "id", "title" };
    PromotionXmlParser parser(nullptr);
    QSignalSpy parseReadySpy(&parser, &PromotionXmlParser::parseReady);
    QMap<int, QStringList> first;
    connect(&parser, &PromotionXmlParser::parseReady, this, [&] {
        if (parseReadySpy.count() != 1)
            return;
        first = parser.getResultsMap();
        request(parser, ids, true);
    });

    parser.setData(feedOfEntries(2));
    request(parser, m_search);
    QTRY_COMPARE(parseReadySpy.count(), 2);
    QCOMPARE(formatMap(first),
             (QStringList { R"(0: "title 1" "id 1")", R"(1: "title 2" "id 2")" }));
    QCOMPARE(formatMap(parser.getResultsMap()), (QStringList { R"(0: "id 1")", R"(1: "id 2")" }));
}

void tst_XmlParserWorker::emptyDocumentEmitsNothing()
{
    PromotionXmlParser parser(nullptr);
    QSignalSpy parseReadySpy(&parser, &PromotionXmlParser::parseReady);
    parser.setData(feedOfEntries(2));
    request(parser, m_search);
    QVERIFY(parseReadySpy.wait());

    // The first result is left untaken: the empty request must still clear it.
    parser.setData(QByteArray());
    request(parser, m_search);
    QVERIFY(parser.getResultsMap().isEmpty());

    // The next real request's signal is the only one that follows.
    parser.setData(feedOfEntries(1));
    request(parser, m_search);
    QVERIFY(parseReadySpy.wait());
    QCoreApplication::processEvents();
    QCOMPARE(parseReadySpy.count(), 2);
    QCOMPARE(parser.getResultsMap().size(), 1);
}

void tst_XmlParserWorker::priorityFollowsFlag_data()
{
    QTest::addColumn<bool>("lowPriority");
    QTest::addColumn<int>("expected");
    QTest::newRow("low-priority-idle") << true << int(QThread::IdlePriority);
    QTest::newRow("normal-priority") << false << int(QThread::NormalPriority);
}

void tst_XmlParserWorker::priorityFollowsFlag()
{
    QFETCH(bool, lowPriority);
    QFETCH(int, expected);

    PromotionXmlParserPrivate worker;
    std::atomic<int> observed { -1 };
    // Runs on the worker thread while the request is still in progress.
    connect(
            &worker, &PromotionXmlParserPrivate::parseReady, &worker,
            [&] { observed = int(worker.priority()); }, Qt::DirectConnection);
    worker.setData(feedOfEntries(1));
    request(worker, m_search, lowPriority);
    QTRY_COMPARE(observed.load(), expected);
}

void tst_XmlParserWorker::destructionDuringParse()
{
    MessageRecorder recorder;
    auto *parser = new PromotionXmlParser(nullptr);
    QSignalSpy parseReadySpy(parser, &PromotionXmlParser::parseReady);
    parser->setData(m_largeFeed);
    // At normal priority: on a busy machine an idle-priority pass may wait
    // longer than the destructor's wait before it runs at all, and the
    // priority has rows of its own.
    request(*parser, m_search, false);
    delete parser;
    QCoreApplication::processEvents();

    QCOMPARE(parseReadySpy.count(), 0);
    // The pass stops at the destructor's request instead of running through the document.
    QCOMPARE(recorder.messages(), QStringList());
}

// The scan runs before the passes, over the whole document; the destructor's wait covers it too.
void tst_XmlParserWorker::structureScanHeedsAbort_data()
{
    QTest::addColumn<bool>("aborted");
    QTest::addColumn<bool>("withinLimits");
    QTest::newRow("aborted") << true << false;
    QTest::newRow("running") << false << true;
}

void tst_XmlParserWorker::structureScanHeedsAbort()
{
    QFETCH(bool, aborted);
    QFETCH(bool, withinLimits);
    int checks = 0;
    const bool answer = XmlStructureCheck::isWithinLimits(feedOfEntries(1000), [&] {
        ++checks;
        return aborted;
    });
    QCOMPARE(answer, withinLimits);
    QVERIFY(checks > 0);
}

void tst_XmlParserWorker::setDataTimeoutRefusesRequests()
{
    PromotionXmlParserPrivate worker;
    worker.setWaitTimeouts(10, 2000);
    // Counted on this thread through a queued call: a spy on the worker's own signal would be
    // filled from the worker thread while this thread reads it.
    int parseReadyCount = 0;
    connect(
            &worker, &PromotionXmlParserPrivate::parseReady, this, [&] { ++parseReadyCount; },
            Qt::QueuedConnection);
    WorkerBlocker blocker;
    blocker.block(&worker);

    worker.setData(feedOfEntries(1));
    request(worker, m_search);
    blocker.started.acquire();
    QTest::ignoreMessage(QtDebugMsg,
                         "void PromotionXmlParserPrivate::setData(const QByteArray&)  "
                         "- Thread failed to quit in 5 sec.");
    worker.setData(feedOfEntries(3));
    QVERIFY(worker.isRunning());

    // The running request owns every field; this one is refused.
    request(worker, StoreQueries::territoryLookup());
    QVERIFY(worker.getResultsMap().isEmpty());

    blocker.gate.release();
    QTRY_VERIFY(worker.isFinished());
    QVERIFY(blocker.done);
    QCoreApplication::processEvents();
    QCOMPARE(parseReadyCount, 0);

    // The document was not replaced by the timed-out call; a later setData() stores it.
    worker.setData(feedOfEntries(2));
    request(worker, m_search);
    QTRY_COMPARE(parseReadyCount, 1);
    QCOMPARE(formatMap(worker.getResultsMap()),
             (QStringList { R"(0: "title 1" "id 1")", R"(1: "title 2" "id 2")" }));
}

void tst_XmlParserWorker::destructorWaitsPastTimeout()
{
    auto *worker = new PromotionXmlParserPrivate;
    worker->setWaitTimeouts(5000, 10);
    WorkerBlocker blocker;
    blocker.block(worker);
    worker->setData(feedOfEntries(1));
    request(*worker, m_search);
    blocker.started.acquire();

    QTest::ignoreMessage(QtDebugMsg,
                         "virtual PromotionXmlParserPrivate::~PromotionXmlParserPrivate()  "
                         "- Thread didn't quit properly!");
    s_gate = &blocker.gate;
    s_previousHandler = qInstallMessageHandler(openGateOnQuitMessage);
    delete worker;
    qInstallMessageHandler(s_previousHandler);

    // Only the debug line let the worker go on, and the destructor still waited for it.
    QVERIFY(blocker.done);
}

void tst_XmlParserWorker::absurdDocumentReleasesWorker_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("attribute-bomb") << attributeBomb(300000);
    QTest::newRow("attribute-list-bomb") << attributeListBomb(300000);
}

void tst_XmlParserWorker::absurdDocumentReleasesWorker()
{
    QFETCH(QByteArray, document);
    auto parser = std::make_unique<PromotionXmlParser>(nullptr);
    QSignalSpy parseReadySpy(parser.get(), &PromotionXmlParser::parseReady);
    parser->setData(document);
    request(*parser, m_search);
    QElapsedTimer timer;
    timer.start();
    parser->setData(feedOfEntries(3));
    const qint64 setDataWait = timer.elapsed();
    // Whether the absurd request was refused or abandoned, its signal is out of the way.
    QCoreApplication::processEvents();
    parseReadySpy.clear();

    request(*parser, m_search);
    QVERIFY(parseReadySpy.wait());
    QCOMPARE(parser->getResultsMap().size(), 3);
    QVERIFY(!parser->hasError());

    parser->setData(document);
    request(*parser, m_search);
    timer.restart();
    parser.reset();
    // Ceilings that only a worker stuck inside one token exceeds.
    QVERIFY2(setDataWait < 500,
             qPrintable(QStringLiteral("setData() waited %1 ms").arg(setDataWait)));
    QVERIFY2(timer.elapsed() < 500,
             qPrintable(QStringLiteral("destruction took %1 ms").arg(timer.elapsed())));
}

QTEST_GUILESS_MAIN(tst_XmlParserWorker)
#include "tst_xmlparserworker.moc"
