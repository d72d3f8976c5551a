// The store's answers through the network service: one at a time in the
// order asked, shared by consumers of one URL, served from the cache while
// fresh, bounded, cancelled and refused.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QVersionNumber>

#include "cachefolder.h"
#include "filesizelimit.h"
#include "messagerecorder.h"
#include "networkservicetest.h"
#include "storehttprequest.h"
#include "testfiles.h"

class tst_AnswerQueue : public NetworkServiceTest
{
    Q_OBJECT

private slots:
    void queueIsServedInOrderOneAtATime();
    void sameUrlQueuedTwice_data();
    void sameUrlQueuedTwice();
    void answeredEntryAnswersLateRequester();
    void cachedAnswer_data();
    void cachedAnswer();
    void staleAnswerGoesWhenTheStoreFails();
    void cacheFileNameIgnoresLetterCase_data();
    void cacheFileNameIgnoresLetterCase();
    void answerOutcome_data();
    void answerOutcome();
    void cancelEmitsNothingAndFreesQueue_data();
    void cancelEmitsNothingAndFreesQueue();
    void failedCacheWriteIsNeverServed_data();
    void failedCacheWriteIsNeverServed();
    void refusedUrlsAreNeverOpened_data();
    void refusedUrlsAreNeverOpened();
    void releaseCache();
    void plantedLinkGoesWithoutAnAnswer();
};

void tst_AnswerQueue::queueIsServedInOrderOneAtATime()
{
    const QStringList paths { "/a", "/b", "/c" };
    for (const QString &path : paths)
        serve(path, path.toUtf8() + " answer");
    m_server->addFault(fault(Kind::Hold, QString(), 0));

    QList<int> ids;
    for (const QString &path : paths)
        ids.append(m_api->fetchXml(url(path), 0));

    for (int i = 0; i < paths.size(); ++i) {
        QTRY_COMPARE(m_server->heldCount(), 1);
        QCOMPARE(requestCount(), i + 1);
        QCOMPARE(m_server->requestLog().at(i).path, paths.at(i));
        m_server->releaseHeld();
        QTRY_COMPARE(m_spies->downloaded.count(), i + 1);
    }
    QCOMPARE(idsOf(m_spies->started), ids);
    QCOMPARE(idsOf(m_spies->downloaded), ids);
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(m_api->getXmlData(ids.at(i)), paths.at(i).toUtf8() + " answer");
}

void tst_AnswerQueue::sameUrlQueuedTwice_data()
{
    QTest::addColumn<QString>("second");
    // URLs that differ only in letter case are two entries sharing one cache file.
    QTest::newRow("same url") << "/artist";
    QTest::newRow("letter case differs") << "/ARTIST";
}

void tst_AnswerQueue::sameUrlQueuedTwice()
{
    QFETCH(QString, second);
    m_server->setHandler(QString(), [](const StoreHttpRequest &request) {
        return answerWith(request.url.path().toUtf8());
    });

    const int first = m_api->fetchXml(url("/artist"), 0);
    const int other = m_api->fetchXml(url(second), 0);
    QVERIFY(first != other);

    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(requestCount(), 1);
    QList<int> announced = idsOf(m_spies->downloaded);
    std::sort(announced.begin(), announced.end());
    QCOMPARE(announced, QList<int>({ first, other }));
    QCOMPARE(m_api->getXmlData(first), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(other), QByteArray("/artist"));
    QCOMPARE(m_api->getXmlData(first), QByteArray());
}

void tst_AnswerQueue::answeredEntryAnswersLateRequester()
{
    serve("/x", "answer");
    const int early = m_api->fetchXml(url("/x"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);

    const int late = m_api->fetchXml(url("/x"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(idsOf(m_spies->downloaded), QList<int>({ early, late }));
    QCOMPARE(idsOf(m_spies->started), QList<int>({ early }));
    QCOMPARE(requestCount(), 1);
    QCOMPARE(m_api->getXmlData(late), QByteArray("answer"));
    QCOMPARE(m_api->getXmlData(early), QByteArray("answer"));
}

void tst_AnswerQueue::cachedAnswer_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<QByteArray>("expected");
    const QDate today = QDate::currentDate();
    const QByteArray cache = "from cache";
    const QByteArray network = "from network";
    QTest::newRow("written just now") << cache << QDateTime::currentDateTime() << cache;
    QTest::newRow("yesterday just after midnight")
            << cache << QDateTime(today.addDays(-1), QTime(0, 0, 1)) << cache;
    QTest::newRow("two days ago just before midnight")
            << cache << QDateTime(today.addDays(-2), QTime(23, 59, 59)) << network;
    QTest::newRow("a week ago") << cache << QDateTime(today.addDays(-7), QTime(12, 0)) << network;
    QTest::newRow("a little ahead of the clock")
            << cache << QDateTime::currentDateTime().addSecs(30) << cache;
    QTest::newRow("an hour ahead of the clock")
            << cache << QDateTime::currentDateTime().addSecs(3600) << network;
    QTest::newRow("empty file") << QByteArray() << QDateTime::currentDateTime() << network;
    // Larger than any answer we keep: not written by us.
    QTest::newRow("too large") << QByteArray(100000, 'x') << QDateTime::currentDateTime()
                               << network;
}

void tst_AnswerQueue::cachedAnswer()
{
    QFETCH(QByteArray, cached);
    QFETCH(QDateTime, written);
    QFETCH(QByteArray, expected);
    m_api->setAnswerSizeLimit(64 * 1024);
    serve("/search", "from network");
    QVERIFY(TestFiles::write(CacheFolder::filePath("queries", url("/search")), cached, written));

    const int id = m_api->fetchXml(url("/search"), 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_api->getXmlData(id), expected);
    QCOMPARE(m_spies->started.count(), requestCount());
    QCOMPARE(requestCount(), int(expected != cached));
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url("/search")), Missing), expected);
}

// An answer too old to use goes when it is looked up, not only once a new
// one replaces it: a store that fails would have left it for good.
void tst_AnswerQueue::staleAnswerGoesWhenTheStoreFails()
{
    const QString path = CacheFolder::filePath("queries", url("/search"));
    QVERIFY(TestFiles::write(path, "from cache", QDateTime::currentDateTime().addDays(-7)));
    m_server->addFault(fault(Kind::Status, QStringLiteral("/search")));

    m_api->fetchXml(url("/search"), 0);
    QTRY_COMPARE(m_spies->error.count(), 1);
    QCOMPARE(requestCount(), 1);
    QCOMPARE(TestFiles::read(path, Missing), Missing);
}

void tst_AnswerQueue::cacheFileNameIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("capitals") << "http://store.invalid/Search?Q=ABBA"
                              << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("small letters") << "http://store.invalid/search?q=abba"
                                   << "60fc79d6d745bb9d81b32c3f6d7dc1db";
    QTest::newRow("empty") << ""
                           << "d41d8cd98f00b204e9800998ecf8427e";
}

void tst_AnswerQueue::cacheFileNameIgnoresLetterCase()
{
    QFETCH(QString, url);
    QFETCH(QString, fileName);
    QVERIFY(TestFiles::write(CacheFolder::folder("queries") + fileName, "cached",
                             QDateTime::currentDateTime()));

    const int id = m_api->fetchXml(url, 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_spies->error.count(), 0);
    QCOMPARE(m_api->getXmlData(id), QByteArray("cached"));
}

void tst_AnswerQueue::answerOutcome_data()
{
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const QMetaEnum kinds = QMetaEnum::fromType<Kind>();
    const QMetaEnum errors = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    // A row that holds for some Qt versions only names them: "< 6.8" or ">= 6.8".
    const QVersionNumber qt = QVersionNumber::fromString(QLatin1String(qVersion()));
    for (const TestFiles::TableRow &row :
         TestFiles::table(QStringLiteral(TEST_DATA "/answer-outcomes.tsv"))) {
        const QString versions = row["Qt"];
        const QVersionNumber bound = QVersionNumber::fromString(versions.section(u' ', 1));
        if (!versions.isEmpty() && (qt < bound) != versions.startsWith(u'<'))
            continue;
        StoreFault fault(Kind(kinds.keyToValue(qPrintable(row["kind"]))), "/q");
        fault.status = row["status"].toInt();
        if (row["chunk size"].toInt() > 0)
            fault.chunkSize = row["chunk size"].toInt();
        if (!row["interim statuses"].isEmpty()) {
            fault.interimStatuses.clear();
            for (const QString &status : row["interim statuses"].split(QLatin1Char(' ')))
                fault.interimStatuses.append(status.toInt());
        }
        fault.intervalMs = 400;
        fault.bodySize = 100000;
        QTest::newRow(qPrintable(
                versions.isEmpty() ? row["tag"] : row["tag"] + QLatin1String(", Qt ") + versions))
                << fault << row["data"].toUtf8() << row["cached"].toUtf8()
                << errors.keyToValue(qPrintable(row["error"])) << row["text"];
    }
}

void tst_AnswerQueue::answerOutcome()
{
    QFETCH(StoreFault, fault);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, cached);
    QFETCH(int, code);
    QFETCH(QString, text);
    // The first limit is a pause between bytes, the second the whole transfer.
    m_api->setTransferTimeout(1000);
    m_api->setDownloadDeadline(3000);
    m_api->setAnswerSizeLimit(64 * 1024);
    serve("/q", "0123456789abcdefghij");
    serve("/next", "next");
    m_server->addFault(fault);

    const int id = m_api->fetchXml(url("/q"), 0);
    const int next = m_api->fetchXml(url("/next"), 0);
    // Whatever became of it, the first entry no longer holds the queue.
    QTRY_VERIFY_WITH_TIMEOUT(idsOf(m_spies->downloaded).contains(next), 10000);
    // It is announced or it fails, never both.
    const QList<int> failed = code ? QList<int> { id } : QList<int> {};
    const QList<int> announced = code ? QList<int> { next } : QList<int> { id, next };
    QCOMPARE(idsOf(m_spies->error), failed);
    QCOMPARE(idsOf(m_spies->downloaded), announced);
    QCOMPARE(m_spies->error.value(0).value(2).toInt(), code);
    QVERIFY(m_spies->error.value(0).value(1).toString().contains(text));
    QCOMPARE(requestCount("/q"), 1);
    QCOMPARE(m_api->getXmlData(id), data);
    QCOMPARE(m_api->getXmlData(next), QByteArray("next"));
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url("/q")), Missing), cached);
}

void tst_AnswerQueue::cancelEmitsNothingAndFreesQueue_data()
{
    QTest::addColumn<QStringList>("after");
    // A download that finishes after its entry has gone finds no entry at all.
    QTest::newRow("the only entry") << QStringList();
    QTest::newRow("first of two") << QStringList { "/next" };
}

void tst_AnswerQueue::cancelEmitsNothingAndFreesQueue()
{
    QFETCH(QStringList, after);
    serve("/slow", "slow");
    serve("/next", "next");
    m_server->addFault(fault(Kind::Hold, "/slow"));

    const int cancelled = m_api->fetchXml(url("/slow"), 0);
    QList<int> ids;
    for (const QString &path : after)
        ids.append(m_api->fetchXml(url(path), 0));
    QTRY_COMPARE(m_server->heldCount(), 1);
    m_api->cancel(cancelled);
    m_server->releaseHeld();

    QTRY_COMPARE(idsOf(m_spies->downloaded), ids);
    for (const int id : std::as_const(ids))
        QCOMPARE(m_api->getXmlData(id), QByteArray("next"));
    QCOMPARE(m_api->getXmlData(cancelled), QByteArray());
    QCOMPARE(m_spies->error.count(), 0);
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url("/slow"))));
    // The stopped download is let go, as the finished ones are.
    QTRY_VERIFY(m_api->findChildren<QNetworkReply *>().isEmpty());
}

void tst_AnswerQueue::failedCacheWriteIsNeverServed_data()
{
    QTest::addColumn<int>("bodySize");
    QTest::newRow("write kept in the buffer") << 8000;
    QTest::newRow("write straight to the file") << 300000;
}

void tst_AnswerQueue::failedCacheWriteIsNeverServed()
{
    QFETCH(int, bodySize);
    const QByteArray body(bodySize, 'a');
    const QString url = this->url("/big");
    serve("/big", body);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^void PromotionNetworkAPI::saveQuery\\(const "
                                            "QString&, const QByteArray&\\) const  - Failed to "
                                            "write data:  \"Not all data could be written\"$"));
    int id;
    {
        const FileSizeLimit limit(1024);
        id = m_api->fetchXml(url, 0);
        QTRY_COMPARE(m_spies->downloaded.count(), 1);
    }
    QCOMPARE(m_api->getXmlData(id), body);
    QCOMPARE(QDir(CacheFolder::folder("queries")).entryList(QDir::Files | QDir::Hidden),
             QStringList());

    const int again = m_api->fetchXml(url, 0);
    QTRY_COMPARE(m_spies->downloaded.count(), 2);
    QCOMPARE(requestCount(), 2);
    QCOMPARE(m_api->getXmlData(again), body);
    QCOMPARE(TestFiles::read(CacheFolder::filePath("queries", url), Missing), body);
}

void tst_AnswerQueue::refusedUrlsAreNeverOpened_data()
{
    // FILE and IMAGE stand for a local picture file and that picture in base64.
    QTest::addColumn<QString>("pattern");
    QTest::newRow("file link ending like a web link") << "file://FILE#http://x";
    QTest::newRow("data link") << "data:image/jpeg;base64,IMAGE";
    QTest::newRow("web scheme without host") << "http:///FILE";
}

void tst_AnswerQueue::refusedUrlsAreNeverOpened()
{
    QFETCH(QString, pattern);
    QTemporaryDir dir;
    const QString file = dir.filePath("art.jpg");
    const QByteArray image = TestFiles::picture(QSize(100, 100));
    QVERIFY(TestFiles::write(file, image, QDateTime::currentDateTime()));
    const QString url = pattern.replace("FILE", file).replace("IMAGE", image.toBase64());
    serve("/next", "next");
    serve("/art", image);

    QCOMPARE(m_api->getArtOfMusicItem(url), QString());
    m_api->getArtOfMusicItem(this->url("/art"));
    const int id = m_api->fetchXml(url, 0);
    const int next = m_api->fetchXml(this->url("/next"), 0);

    QTRY_COMPARE(m_spies->downloaded.count(), 1);
    QCOMPARE(m_spies->downloaded.at(0).at(0).toInt(), next);
    QCOMPARE(m_spies->error.count(), 1);
    QCOMPARE(m_spies->error.at(0).at(0).toInt(), id);
    QCOMPARE(m_spies->error.at(0).at(2).toInt(), int(QNetworkReply::ProtocolUnknownError));
    QTRY_COMPARE(m_spies->image.count(), 1);
    QCOMPARE(m_spies->image.at(0).at(0).toString(), this->url("/art"));
    QVERIFY(!QFile::exists(CacheFolder::filePath("images", url)));
    QVERIFY(!QFile::exists(CacheFolder::filePath("queries", url)));
}

void tst_AnswerQueue::releaseCache()
{
    const QString path = CacheFolder::filePath("queries", url("/q"));
    QVERIFY(TestFiles::write(path, "answer", QDateTime::currentDateTime()));
    const MessageRecorder recorder;
    m_api->releaseCache(url("/q"));
    m_api->releaseCache(url("/never-cached"));
    QCOMPARE(recorder.messages(), QStringList());
    QVERIFY(!QFile::exists(path));
}

void tst_AnswerQueue::plantedLinkGoesWithoutAnAnswer()
{
    // A link planted where an answer would be is never followed, and goes
    // even when no answer comes to be written in its place.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("target");
    QVERIFY(TestFiles::write(target, "planted", QDateTime::currentDateTime()));
    const QString path = CacheFolder::filePath("queries", url("/q"));
    QVERIFY(QDir().mkpath(CacheFolder::folder("queries")));
    QVERIFY(QFile::link(target, path));
    m_server->addFault(fault(Kind::Status, "/q"));

    const int id = m_api->fetchXml(url("/q"), 0);
    QTRY_COMPARE(m_spies->error.count(), 1);
    QCOMPARE(m_api->getXmlData(id), QByteArray());
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(TestFiles::read(target), QByteArray("planted"));
}

QTEST_MAIN(tst_AnswerQueue)
#include "tst_answerqueue.moc"
