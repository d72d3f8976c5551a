#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>

#include "storeconstants.h"
#include "storefeedwriter.h"
#include "storefetcher.h"
#include "storeserver.h"

namespace {

const QString atomNs = QLatin1String(StoreConstants::AtomNamespace);
const QString appNs = QLatin1String(StoreConstants::AtomPubNamespace);
const QString schemaNs = QLatin1String(StoreConstants::SchemaNamespace);
const QString token = QLatin1String(StoreConstants::DefaultToken);

// One Atom entry read with a plain stream reader: its title, the texts of
// the store-schema metadata children and the href of each titled link.
struct Entry {
    QString title;
    QHash<QString, QString> metadata;
    QHash<QString, QString> links;
};

struct Document {
    QString error;
    QString workspaceCountry;
    QList<Entry> entries;
};

Document readDocument(const QByteArray& body)
{
    Document document;
    QXmlStreamReader reader(body);
    Entry* entry = nullptr;
    bool inMetadata = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("metadata"))
            inMetadata = false;
        if (reader.isEndElement() && reader.name() == QLatin1String("entry"))
            entry = nullptr;
        if (!reader.isStartElement())
            continue;
        const QStringView ns = reader.namespaceUri();
        const QStringView name = reader.name();
        if (ns == appNs && name == QLatin1String("workspace")) {
            document.workspaceCountry = reader.attributes().value(schemaNs, QStringLiteral("countryCode")).toString();
        } else if (ns == atomNs && name == QLatin1String("entry")) {
            document.entries.append(Entry());
            entry = &document.entries.last();
        } else if (entry && ns == schemaNs && name == QLatin1String("metadata")) {
            inMetadata = true;
        } else if (entry && inMetadata) {
            entry->metadata.insert(name.toString(), reader.readElementText());
        } else if (entry && ns == atomNs && name == QLatin1String("title")) {
            entry->title = reader.readElementText();
        } else if (entry && ns == atomNs && name == QLatin1String("link")) {
            entry->links.insert(reader.attributes().value(QStringLiteral("title")).toString(),
                                reader.attributes().value(QStringLiteral("href")).toString());
        }
    }
    if (reader.hasError())
        document.error = reader.errorString();
    return document;
}

QStringList titles(const Document& document)
{
    QStringList result;
    for (const Entry& entry : document.entries)
        result.append(entry.title);
    return result;
}

} // namespace

class tst_StoreServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void territory_data();
    void territory();
    void artistSearch_data();
    void artistSearch();
    void similarItems_data();
    void similarItems();
    void longDurations();
    void pictures();
    void errors_data();
    void errors();
    void faults_data();
    void faults();
    void persistentFaultAndPathFilter();
    void requestLog();
    void generatedFeeds();
    void catalogFile();
    void command();

private:
    QByteArray rawFetch(const QUrl& url);

    StoreServer m_server;
    StoreFetcher m_fetcher;
    QNetworkAccessManager m_manager;
};

// Everything the server sends on a fresh connection until it closes it.
QByteArray tst_StoreServer::rawFetch(const QUrl& url)
{
    // The server runs on this thread: wait through the event loop only.
    QTcpSocket socket;
    QByteArray bytes;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { bytes += socket.readAll(); });
    QSignalSpy disconnectedSpy(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, m_server.port());
    socket.write("GET " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)
                 + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    disconnectedSpy.wait(10000);
    return bytes + socket.readAll();
}

void tst_StoreServer::initTestCase()
{
    QVERIFY(m_server.start());
    QVERIFY(m_server.port() != 0);
    m_fetcher.setBaseUrl(m_server.baseUrl());
}

void tst_StoreServer::init()
{
    m_server.clearFaults();
    m_server.clearRequestLog();
}

void tst_StoreServer::territory_data()
{
    QTest::addColumn<QString>("mcc");
    QTest::addColumn<QString>("country");
    QTest::newRow("finland") << "244" << "fi";
    QTest::newRow("britain-234") << "234" << "gb";
    QTest::newRow("britain-235") << "235" << "gb";
    QTest::newRow("germany") << "262" << "de";
    QTest::newRow("france") << "208" << "fr";
    QTest::newRow("us-first") << "310" << "us";
    QTest::newRow("us-last") << "316" << "us";
    QTest::newRow("unknown-code-falls-back") << "999" << "gb";
    QTest::newRow("no-code-falls-back") << "" << "gb";
}

void tst_StoreServer::territory()
{
    QFETCH(QString, mcc);
    QFETCH(QString, country);
    const StoreFetcher::Reply reply = m_fetcher.fetch(m_fetcher.territoryUrl(mcc));
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.contentType.startsWith("application/atomsvc+xml"));
    const Document document = readDocument(reply.body);
    QCOMPARE(document.error, QString());
    QCOMPARE(document.workspaceCountry, country);
}

void tst_StoreServer::artistSearch_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("leading");
    QTest::addColumn<int>("count");
    QTest::newRow("exact-case-twins-first") << "velvet harbour"
                                            << QStringList{"Velvet Harbour", "VELVET HARBOUR"} << 2;
    QTest::newRow("partial-matches-follow") << "VELVET"
                                            << QStringList{"Velvet Harbour", "VELVET HARBOUR",
                                                           "The Velvet Underground"} << 3;
    QTest::newRow("exact-before-partial") << "the the" << QStringList{"The The"} << 1;
    QTest::newRow("slash-encoded") << "AC%2FDC" << QStringList{"AC/DC"} << 1;
    QTest::newRow("slash-raw") << "AC/DC" << QStringList{"AC/DC"} << 1;
    QTest::newRow("ampersand-encoded") << "Simon%20%26%20Garfunkel" << QStringList{"Simon & Garfunkel"} << 1;
    QTest::newRow("plus-raw") << "Florence + the Machine" << QStringList{"Florence + the Machine"} << 1;
    QTest::newRow("plus-encoded") << "Florence%20%2B%20the%20Machine" << QStringList{"Florence + the Machine"} << 1;
    QTest::newRow("question-mark") << "%3F and the Mysterians" << QStringList{"? and the Mysterians"} << 1;
    QTest::newRow("hash-encoded") << "Sharp%20%239%20Quartet" << QStringList{"Sharp #9 Quartet"} << 1;
    QTest::newRow("accent-case-folded") << "BJÖRK" << QStringList{"Björk"} << 1;
    QTest::newRow("accent-encoded") << "Bj%C3%B6rk" << QStringList{"Björk"} << 1;
    QTest::newRow("cjk") << "坂本龍一" << QStringList{"坂本龍一"} << 1;
    QTest::newRow("cyrillic-case") << "кино" << QStringList{"Кино"} << 1;
    QTest::newRow("percent-decoded-once") << "AC%252FDC" << QStringList() << 0;
    QTest::newRow("no-match") << "Nobody%20At%20All" << QStringList() << 0;
    QTest::newRow("empty") << "" << QStringList() << 0;
}

void tst_StoreServer::artistSearch()
{
    QFETCH(QString, query);
    QFETCH(QStringList, leading);
    QFETCH(int, count);
    const StoreFetcher::Reply reply = m_fetcher.fetch(m_fetcher.searchUrl(query));
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.contentType.startsWith("application/atom+xml"));
    const Document document = readDocument(reply.body);
    QCOMPARE(document.error, QString());
    QCOMPARE(document.entries.size(), count);
    QCOMPARE(titles(document).mid(0, leading.size()), leading);
    for (const Entry& entry : document.entries) {
        const StoreArtist* artist = m_server.catalog().artist(entry.metadata.value(QStringLiteral("id")));
        QVERIFY2(artist, qPrintable(entry.title));
        QCOMPARE(artist->name, entry.title);
    }
}

void tst_StoreServer::similarItems_data()
{
    QTest::addColumn<QString>("artistId");
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("expected");
    QTest::newRow("tracks") << "ar1001" << "tracks/" << 4 << 4;
    QTest::newRow("albums") << "ar1007" << "albums/" << 4 << 4;
    QTest::newRow("artists") << "ar1010" << "" << 4 << 4;
    QTest::newRow("tracks-large-page") << "ar1024" << "tracks/" << 25 << 25;
    QTest::newRow("artists-short-list") << "ar1015" << "" << 50 << 6;
    QTest::newRow("no-similar-artists") << "ar1048" << "tracks/" << 4 << 0;
}

void tst_StoreServer::similarItems()
{
    QFETCH(QString, artistId);
    QFETCH(QString, what);
    QFETCH(int, items);
    QFETCH(int, expected);
    const StoreCatalog& catalog = m_server.catalog();
    const StoreArtist* seed = catalog.artist(artistId);
    QVERIFY(seed);

    const StoreFetcher::Reply reply = m_fetcher.fetch(m_fetcher.similarUrl(artistId, what, items));
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.contentType.startsWith("application/atom+xml"));
    const Document document = readDocument(reply.body);
    QCOMPARE(document.error, QString());
    QCOMPARE(document.entries.size(), expected);

    // Field by field the answers are checked through the plug-in's own
    // queries (tst_storeanswers); here only the kind of each entry.
    const QString link = what.isEmpty() ? QStringLiteral("artistImage100") : QStringLiteral("albumart100");
    for (const Entry& entry : document.entries) {
        const QString id = entry.metadata.value(QStringLiteral("id"));
        if (what == QLatin1String("albums/"))
            QVERIFY2(catalog.album(id).album, qPrintable(id));
        else if (what.isEmpty())
            QVERIFY2(catalog.artist(id), qPrintable(id));
        else
            QVERIFY2(entry.metadata.contains(QStringLiteral("duration")), qPrintable(id));
        QVERIFY(entry.links.value(link).startsWith(m_server.baseUrl() + QLatin1String("/pictures/")));
    }
}

void tst_StoreServer::longDurations()
{
    // Sunn O))) lists the drone band whose opening track lasts a day and a half.
    const Document document =
        readDocument(m_fetcher.get(m_fetcher.similarUrl(QStringLiteral("ar1039"), QStringLiteral("tracks/"))));
    QStringList durations;
    for (const Entry& entry : document.entries)
        durations.append(entry.metadata.value(QStringLiteral("duration")));
    QVERIFY2(durations.contains(QStringLiteral("129600")), qPrintable(durations.join(u',')));
}

void tst_StoreServer::pictures()
{
    QSet<QString> hrefs;
    for (const QString& what : {QStringLiteral("tracks/"), QStringLiteral("")}) {
        const Document document = readDocument(m_fetcher.get(m_fetcher.similarUrl(QStringLiteral("ar1001"), what, 8)));
        for (const Entry& entry : document.entries) {
            for (const QString& href : entry.links)
                hrefs.insert(href);
        }
    }
    QVERIFY(hrefs.size() >= 8);
    QSet<QByteArray> formats;
    bool sawNonSquare = false;
    for (const QString& href : std::as_const(hrefs)) {
        const StoreFetcher::Reply reply = m_fetcher.fetch(href);
        QCOMPARE(reply.status, 200);
        QBuffer buffer(const_cast<QByteArray*>(&reply.body));
        QImageReader reader(&buffer);
        const QByteArray format = reader.format();
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(href));
        QCOMPARE("image/" + format, reply.contentType);
        formats.insert(format);
        sawNonSquare = sawNonSquare || image.width() != image.height();

        const QString name = href.section(QLatin1String("/pictures/"), 1);
        const QString id = name.section(u'/', 1).section(u'.', 0, 0);
        const StorePicture expected = name.startsWith(QLatin1String("artist/"))
                                          ? m_server.catalog().artist(id)->picture
                                          : m_server.catalog().album(id).album->picture;
        QCOMPARE(image.size(), expected.size);
    }
    QCOMPARE(formats, (QSet<QByteArray>{"png", "jpeg"}));
    QVERIFY(sawNonSquare);
}

void tst_StoreServer::errors_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    const QString bad = QStringLiteral("&token=not-the-token");
    QTest::newRow("territory-bad-token") << "/1.0/?useip=true&storeconfig=false&format=xml&mcc=244" + bad << 401;
    QTest::newRow("territory-no-token") << "/1.0/?mcc=244" << 401;
    QTest::newRow("search-bad-token") << "/1.0/gb/artists/?q=Björk" + bad << 401;
    QTest::newRow("similar-bad-token") << "/1.0/gb/artists/ar1001/similar/tracks/?itemsperpage=4" + bad << 401;
    const QString good = QStringLiteral("&token=") + token;
    QTest::newRow("unknown-artist") << "/1.0/gb/artists/ar9999/similar/?itemsperpage=4" + good << 404;
    QTest::newRow("unknown-artist-albums") << "/1.0/gb/artists/ar9999/similar/albums/?itemsperpage=4" + good << 404;
    QTest::newRow("unknown-territory") << "/1.0/xx/artists/?q=Björk" + good << 404;
    QTest::newRow("unknown-version") << "/2.0/gb/artists/?q=Björk" + good << 404;
    QTest::newRow("unknown-similar-kind") << "/1.0/gb/artists/ar1001/similar/videos/?x=1" + good << 404;
    QTest::newRow("unknown-path") << "/nothing/here?x=1" + good << 404;
    QTest::newRow("unknown-picture") << "/pictures/album/al0.jpg" << 404;
    QTest::newRow("picture-wrong-extension") << "/pictures/album/al100101.png" << 404;
}

void tst_StoreServer::errors()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    const StoreFetcher::Reply reply = m_fetcher.fetch(m_server.baseUrl() + path);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.error != QNetworkReply::NoError);
}

void tst_StoreServer::faults_data()
{
    using Kind = StoreFault::Kind;
    QTest::addColumn<StoreFault>("fault");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("outcome");

    const QString feed = QStringLiteral("similar/tracks");
    const QString picture = QStringLiteral("picture");
    const QString territory = QStringLiteral("territory");
    auto make = [](Kind kind) { return StoreFault(kind); };

    StoreFault delay = make(Kind::Delay);
    delay.delayMs = 150;
    QTest::newRow("delay") << delay << feed << "late";
    QTest::newRow("stall") << make(Kind::Stall) << feed << "timeout";
    StoreFault status = make(Kind::Status);
    status.status = 503;
    QTest::newRow("status") << status << feed << "503";
    QTest::newRow("status-default") << make(Kind::Status) << feed << "500";
    QTest::newRow("cut-body") << make(Kind::CutBody) << feed << "network-error";
    QTest::newRow("cut-body-no-length") << make(Kind::CutBodyNoLength) << feed << "broken-xml";
    QTest::newRow("malformed-xml") << make(Kind::MalformedXml) << feed << "broken-xml";
    QTest::newRow("empty-body") << make(Kind::EmptyBody) << feed << "empty";
    QTest::newRow("not-an-image") << make(Kind::NotAnImage) << picture << "not-an-image";
    StoreFault huge = make(Kind::HugePicture);
    huge.pictureSize = QSize(1500, 900);
    QTest::newRow("huge-picture") << huge << picture << "1500x900";
    QTest::newRow("extra-entries") << make(Kind::ExtraEntries) << feed << "9-entries";
    StoreFault drip = make(Kind::Drip);
    drip.intervalMs = 1;
    QTest::newRow("drip") << drip << territory << "normal";
    QTest::newRow("stall-after-headers") << make(Kind::StallAfterHeaders) << feed << "timeout";
    QTest::newRow("chunked-without-last-chunk") << make(Kind::ChunkedWithoutLastChunk) << feed << "chunked-unfinished";
    QTest::newRow("connection-reset") << make(Kind::ConnectionReset) << feed << "network-error";
    QTest::newRow("redirect-loop") << make(Kind::RedirectLoop) << feed << "redirect-loop";
    QTest::newRow("html-error-page") << make(Kind::HtmlErrorPage) << feed << "html";
    QTest::newRow("doctype") << make(Kind::Doctype) << feed << "doctype";
    QTest::newRow("entity-bomb") << make(Kind::EntityBomb) << feed << "broken-xml";
    StoreFault nesting = make(Kind::DeepNesting);
    nesting.nestingDepth = 2000;
    QTest::newRow("deep-nesting") << nesting << feed << "deep";
    QTest::newRow("truncated-jpeg") << make(Kind::TruncatedJpeg) << picture << "truncated-jpeg";
    QTest::newRow("jpeg-claiming-huge-size") << make(Kind::JpegClaimingHugeSize) << picture << "65000x65000";
}

void tst_StoreServer::faults()
{
    QFETCH(StoreFault, fault);
    QFETCH(QString, path);
    QFETCH(QString, outcome);

    QString url = m_fetcher.similarUrl(QStringLiteral("ar1001"), QStringLiteral("tracks/"));
    if (path == QLatin1String("picture"))
        url = m_server.baseUrl() + QLatin1String("/pictures/album/al100101.jpg");
    else if (path == QLatin1String("territory"))
        url = m_fetcher.territoryUrl(QStringLiteral("244"));
    const StoreFetcher::Reply normal = m_fetcher.fetch(url);
    QCOMPARE(normal.status, 200);

    m_server.addFault(fault);
    QSignalSpy requestSpy(&m_server, &StoreServer::requestReceived);
    std::unique_ptr<QNetworkReply> lateReply;
    StoreFetcher::Reply reply;
    if (outcome == QLatin1String("chunked-unfinished")) {
        // How a client takes a close before the final chunk varies, so the
        // bytes on the wire are checked instead.
        const QByteArray raw = rawFetch(QUrl(url));
        QVERIFY(raw.contains("\r\nTransfer-Encoding: chunked\r\n"));
        QVERIFY(!raw.contains("Content-Length"));
        QVERIFY(raw.endsWith("</feed>\n\r\n"));
        QVERIFY(!raw.contains("\r\n0\r\n"));
        reply.finished = true;
    } else if (outcome == QLatin1String("late")) {
        lateReply.reset(m_manager.get(QNetworkRequest{QUrl(url)}));
        QVERIFY(requestSpy.wait());
        QVERIFY(!lateReply->isFinished());
        QSignalSpy finishedSpy(lateReply.get(), &QNetworkReply::finished);
        QVERIFY(finishedSpy.wait());
        reply.body = lateReply->readAll();
        reply.status = lateReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply.finished = true;
    } else {
        reply = m_fetcher.fetch(url, outcome == QLatin1String("timeout") ? 300 : 0);
        QVERIFY(reply.finished);
    }
    QCOMPARE(m_server.pendingFaultCount(), 0);

    if (outcome == QLatin1String("chunked-unfinished")) {
    } else if (outcome == QLatin1String("late") || outcome == QLatin1String("normal")) {
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, normal.body);
    } else if (outcome == QLatin1String("timeout")) {
        QCOMPARE(reply.error, QNetworkReply::OperationCanceledError);
    } else if (outcome == QLatin1String("503") || outcome == QLatin1String("500")) {
        QCOMPARE(QString::number(reply.status), outcome);
    } else if (outcome == QLatin1String("network-error")) {
        QVERIFY(reply.error != QNetworkReply::NoError);
        QVERIFY(reply.body.size() < normal.body.size());
    } else if (outcome == QLatin1String("broken-xml")) {
        QCOMPARE(reply.status, 200);
        QVERIFY(!readDocument(reply.body).error.isEmpty());
    } else if (outcome == QLatin1String("empty")) {
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.body.isEmpty());
    } else if (outcome == QLatin1String("not-an-image")) {
        QVERIFY(reply.contentType.startsWith("image/"));
        QVERIFY(QImage::fromData(reply.body).isNull());
    } else if (outcome == QLatin1String("9-entries")) {
        QCOMPARE(readDocument(reply.body).entries.size(), 9);
    } else if (outcome == QLatin1String("redirect-loop")) {
        QCOMPARE(reply.error, QNetworkReply::TooManyRedirectsError);
    } else if (outcome == QLatin1String("html")) {
        QVERIFY(reply.contentType.startsWith("text/html"));
        QVERIFY(reply.body.contains("<html>"));
    } else if (outcome == QLatin1String("doctype")) {
        QVERIFY(reply.body.contains("<!DOCTYPE feed SYSTEM"));
        const Document document = readDocument(reply.body);
        QCOMPARE(document.error, QString());
        QCOMPARE(titles(document), titles(readDocument(normal.body)));
    } else if (outcome == QLatin1String("deep")) {
        QCOMPARE(reply.body.count("<n>"), 2000);
        QCOMPARE(readDocument(reply.body).error, QString());
    } else if (outcome == QLatin1String("truncated-jpeg")) {
        QVERIFY(reply.body.startsWith("\xFF\xD8"));
        QVERIFY(!reply.body.endsWith("\xFF\xD9"));
    } else {
        QBuffer buffer(const_cast<QByteArray*>(&reply.body));
        const QSize size = QImageReader(&buffer).size();
        QCOMPARE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), outcome);
    }

    // A one-shot fault leaves the following request alone.
    const StoreFetcher::Reply after = m_fetcher.fetch(url);
    QCOMPARE(after.status, 200);
    QCOMPARE(after.body, normal.body);
}

void tst_StoreServer::persistentFaultAndPathFilter()
{
    StoreFault fault(StoreFault::Kind::Status, QStringLiteral("/similar/"));
    fault.status = 502;
    fault.times = 0;
    m_server.addFault(fault);
    QCOMPARE(m_fetcher.fetch(m_fetcher.searchUrl(QStringLiteral("Björk"))).status, 200);
    QCOMPARE(m_fetcher.fetch(m_fetcher.similarUrl(QStringLiteral("ar1007"), QStringLiteral("albums/"))).status, 502);
    QCOMPARE(m_fetcher.fetch(m_fetcher.similarUrl(QStringLiteral("ar1007"), QString())).status, 502);
    QCOMPARE(m_server.pendingFaultCount(), 1);
    m_server.clearFaults();
    QCOMPARE(m_fetcher.fetch(m_fetcher.similarUrl(QStringLiteral("ar1007"), QString())).status, 200);

    StoreFault twice(StoreFault::Kind::EmptyBody);
    twice.times = 2;
    m_server.addFault(twice);
    QVERIFY(m_fetcher.fetch(m_fetcher.searchUrl(QStringLiteral("Björk"))).body.isEmpty());
    QVERIFY(m_fetcher.fetch(m_fetcher.searchUrl(QStringLiteral("Björk"))).body.isEmpty());
    QVERIFY(!m_fetcher.fetch(m_fetcher.searchUrl(QStringLiteral("Björk"))).body.isEmpty());
}

void tst_StoreServer::requestLog()
{
    for (int i = 0; i < 3; ++i)
        m_fetcher.fetch(m_fetcher.searchUrl(QStringLiteral("AC%2FDC")));
    m_fetcher.fetch(m_fetcher.similarUrl(QStringLiteral("ar1004"), QStringLiteral("tracks/")));
    m_fetcher.fetch(m_fetcher.territoryUrl(QStringLiteral("244")));
    m_fetcher.fetch(m_server.baseUrl() + QLatin1String("/pictures/album/al100101.jpg"));
    m_fetcher.fetch(m_server.baseUrl() + QLatin1String("/elsewhere"));

    QCOMPARE(m_server.requestCount(StoreRequest::Kind::ArtistSearch), 3);
    QCOMPARE(m_server.requestCount(StoreRequest::Kind::SimilarTracks), 1);
    QCOMPARE(m_server.requestCount(StoreRequest::Kind::SimilarAlbums), 0);
    QCOMPARE(m_server.requestCount(StoreRequest::Kind::Territory), 1);
    QCOMPARE(m_server.requestCount(StoreRequest::Kind::Picture), 1);
    QCOMPARE(m_server.requestCount(StoreRequest::Kind::Other), 1);

    const QList<StoreRequest> log = m_server.requestLog();
    QCOMPARE(log.size(), 7);
    QCOMPARE(log.first().path, QStringLiteral("/1.0/gb/artists/"));
    QCOMPARE(log.first().query, QStringLiteral("q=AC%2FDC&token=") + token);
    QVERIFY(log.first().time.isValid());
    QVERIFY(log.first().time <= log.last().time);
    QCOMPARE(log.at(3).path, QStringLiteral("/1.0/gb/artists/ar1004/similar/tracks/"));

    m_server.clearRequestLog();
    QVERIFY(m_server.requestLog().isEmpty());
}

void tst_StoreServer::generatedFeeds()
{
    const Document tracks = readDocument(StoreFeedWriter::generatedSimilarTracksFeed(3000));
    QCOMPARE(tracks.error, QString());
    QCOMPARE(tracks.entries.size(), 3000);
    QCOMPARE(tracks.entries.at(2999).metadata.value(QStringLiteral("duration")), QStringLiteral("3099"));
    QVERIFY(tracks.entries.at(0).links.contains(QStringLiteral("albumart100")));

    const Document artists = readDocument(StoreFeedWriter::generatedArtistSearchFeed(2500));
    QCOMPARE(artists.error, QString());
    QCOMPARE(artists.entries.size(), 2500);
    QCOMPARE(artists.entries.at(7).title, QStringLiteral("Generated Artist 7"));
    QCOMPARE(artists.entries.at(7).metadata.value(QStringLiteral("id")), QStringLiteral("gen7"));
}

void tst_StoreServer::catalogFile()
{
    const StoreCatalog& builtIn = m_server.catalog();
    QVERIFY(builtIn.artists().size() >= 40);
    qint64 longest = 0;
    int overAnHour = 0;
    QSet<QString> genres;
    for (const StoreArtist& artist : builtIn.artists()) {
        genres.insert(artist.genre);
        for (const StoreAlbum& album : artist.albums) {
            for (const StoreTrack& track : album.tracks) {
                longest = qMax(longest, track.duration);
                overAnHour += track.duration > 3600 ? 1 : 0;
            }
        }
    }
    QVERIFY(longest > 86400);
    QVERIFY(overAnHour >= 3);
    QVERIFY(genres.size() >= 8);

    StoreServer server;
    QTemporaryFile broken;
    QVERIFY(broken.open());
    broken.write(R"({"artists": [{"id": "x1", "name": "Solo", "similar": ["nobody"]}]})");
    broken.close();
    QString error;
    QVERIFY(!server.loadCatalog(broken.fileName(), &error));
    QVERIFY(error.contains(QLatin1String("nobody")));
    QCOMPARE(server.catalog().artists().size(), builtIn.artists().size());

    QTemporaryFile small;
    QVERIFY(small.open());
    small.write(R"({"artists": [
        {"id": "x1", "name": "Solo", "similar": ["x2"], "picture": {"format": "png", "width": 30, "height": 20}},
        {"id": "x2", "name": "Duo", "similar": ["x1"], "albums": [{"id": "y1", "title": "One",
            "tracks": [{"id": "z1", "title": "First", "duration": 61}, {"id": "z2", "title": "Second", "duration": 62}]}]}]})");
    small.close();
    QVERIFY2(server.loadCatalog(small.fileName(), &error), qPrintable(error));
    QVERIFY(server.start());
    QCOMPARE(server.catalog().artists().size(), 2);
    QCOMPARE(server.catalog().album(QStringLiteral("y1")).album->trackCount, 2);
    const Document document = readDocument(
        m_fetcher.fetch(server.baseUrl() + QLatin1String("/1.0/gb/artists/x1/similar/tracks/?itemsperpage=4&token=") + token)
            .body);
    QCOMPARE(titles(document), (QStringList{"First", "Second"}));
    const StoreFetcher::Reply picture = m_fetcher.fetch(server.baseUrl() + QLatin1String("/pictures/artist/x1.png"));
    QCOMPARE(QImage::fromData(picture.body).size(), QSize(30, 20));
}

void tst_StoreServer::command()
{
    QProcess store;
    store.setProcessChannelMode(QProcess::SeparateChannels);
    store.start(QStringLiteral(VELLORA_STORE_COMMAND), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(store.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(store.canReadLine(), 10000);
    const QString baseUrl = QString::fromUtf8(store.readLine()).trimmed();
    QVERIFY2(baseUrl.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(baseUrl));

    const StoreFetcher::Reply reply = m_fetcher.fetch(baseUrl + QLatin1String("/1.0/?useip=true&storeconfig=false&format=xml&mcc=262&token=")
                                + token);
    QCOMPARE(readDocument(reply.body).workspaceCountry, QStringLiteral("de"));
    store.terminate();
    QVERIFY(store.waitForFinished());

    QProcess badCatalog;
    badCatalog.start(QStringLiteral(VELLORA_STORE_COMMAND),
                     {QStringLiteral("--catalog"), QStringLiteral("/nonexistent/catalog.json")});
    QVERIFY(badCatalog.waitForFinished());
    QCOMPARE(badCatalog.exitCode(), 1);
    QVERIFY(badCatalog.readAllStandardError().contains("cannot read"));
}

QTEST_MAIN(tst_StoreServer)
#include "tst_storeserver.moc"
