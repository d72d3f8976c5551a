#include <QFile>
#include <QStringEncoder>
#include <QSignalSpy>
#include <QTest>

#include "promotionxmlparser.h"
#include "xmltestsupport.h"

using namespace XmlTestSupport;

class tst_XmlQueries : public QObject
{
    Q_OBJECT

private slots:
    void extraction_data();
    void extraction();
};

namespace {

// The last expected line of a document that is refused, broken or cut short.
constexpr char ErrorLine[] = "<error>";

constexpr char TitlePath[] = "atom:child#entry atom:child#title";
constexpr char IdPath[] = "atom:child#entry store:child#metadata atom:child#id";
constexpr char ImagePath[] =
        "atom:child#entry atom:link#link atom:aidAttr#title=artistImage100 atom:attr#href";

// A set of its own, with the namespace declarations that the model hands over.
StoreQueries::QuerySet querySet(const QList<QPair<QString, QString>> &queries,
                                const QStringList &columns, int limit = 0)
{
    StoreQueries::QuerySet set { StoreQueries::namespaces(QStringLiteral("atom"),
                                                          StoreConstants::AtomNamespace),
                                 {},
                                 columns,
                                 limit };
    for (const auto &query : queries)
        set.queries.append({ query.first, path(query.second) });
    return set;
}

StoreQueries::QuerySet titles()
{
    return querySet({ { "title", TitlePath } }, { "title" });
}

QByteArray readDataFile(const QString &name)
{
    QFile file(QStringLiteral(XML_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read test data %s", qPrintable(file.fileName()));
    return file.readAll();
}

// Entries as the queries expect them, written out so each row shows what it feeds in.
QByteArray titledEntries(const QList<int> &numbers)
{
    QByteArray body;
    for (int n : numbers)
        body += "<entry><title>t" + QByteArray::number(n) + "</title><s:metadata><id>i"
                + QByteArray::number(n) + "</id></s:metadata></entry>";
    return body;
}

QByteArray imageEntry(int n, bool withImage = true)
{
    const QByteArray number = QByteArray::number(n);
    QByteArray links = "<link title=\"artistImage200\" href=\"large" + number + "\"/>";
    if (withImage)
        links += "<link title=\"artistImage100\" href=\"h" + number + "\"/>";
    return "<entry><title>t" + number + "</title>" + links + "</entry>";
}

// A similar-tracks entry; an empty name in without drops that field.
QByteArray playerEntry(int n, const QByteArray &without = QByteArray())
{
    const QByteArray number = QByteArray::number(n);
    const auto field = [&](const QByteArray &name, const QByteArray &element) {
        return name == without ? QByteArray() : element;
    };
    return "<entry>" + field("title", "<title>t" + number + "</title>")
            + field("picture", "<link title=\"albumart100\" href=\"h" + number + "\"/>")
            + "<s:metadata>" + "<primaryartist>a" + number + "</primaryartist><takenfrom>b" + number
            + "</takenfrom><duration>" + number + "</duration><id>i" + number
            + "</id></s:metadata></entry>";
}

QByteArray playerFeedLastWithout(const QByteArray &field)
{
    return feed(playerEntry(1) + playerEntry(2) + playerEntry(3) + playerEntry(4, field));
}

QStringList playerRows(const QString &lastRow)
{
    return { R"(0: "t1" "a1" "b1" "1" "h1" "i1" "a1")", R"(1: "t2" "a2" "b2" "2" "h2" "i2" "a2")",
             R"(2: "t3" "a3" "b3" "3" "h3" "i3" "a3")", lastRow };
}

QByteArray utf16(QByteArray document)
{
    document.replace("encoding=\"UTF-8\"", "encoding=\"UTF-16\"");
    return QStringEncoder(QStringConverter::Utf16LE,
                          QStringConverter::Flag::WriteBom)(QString::fromUtf8(document));
}

// The declaration in ASCII, the rest in EBCDIC: the reader decodes on in the declared encoding.
QByteArray ebcdic(const QByteArray &document)
{
    const qsizetype body = document.indexOf("?>") + 2;
    return QByteArray(document.left(body)).replace("UTF-8", "IBM037")
            + QStringEncoder("IBM037")(QString::fromUtf8(document.mid(body)));
}

QByteArray entityExpansionDocument()
{
    QByteArray document = "<?xml version=\"1.0\"?><!DOCTYPE feed [<!ENTITY e0 \"lol\">";
    for (int i = 1; i < 30; ++i) {
        const QByteArray previous = "&e" + QByteArray::number(i - 1) + ";";
        document += "<!ENTITY e" + QByteArray::number(i) + " \"" + previous.repeated(10) + "\">";
    }
    return document + "]><feed xmlns=\"" + StoreConstants::AtomNamespace
            + "\"><entry><title>&e29;</title></entry></feed>";
}

} // namespace

void tst_XmlQueries::extraction_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<StoreQueries::QuerySet>("set");
    QTest::addColumn<QStringList>("expected");

    const auto golden = [](const char *name, const StoreQueries::QuerySet &set) {
        const QString expected = QString::fromUtf8(readDataFile(QLatin1String(name) + ".expected"));
        QTest::newRow(name) << readDataFile(QLatin1String(name) + ".xml") << set
                            << expected.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    golden("service-document-country-code", StoreQueries::territoryLookup());
    golden("three-entry-feed", StoreQueries::artistSearch());
    golden("artist-view-five-entries", StoreQueries::similarItems(StoreQueries::Similar::Artists));
    golden("artist-view-four-entries-last-without-picture",
           StoreQueries::similarItems(StoreQueries::Similar::Artists));

    const StoreQueries::QuerySet search = StoreQueries::artistSearch();
    const StoreQueries::QuerySet tracks = StoreQueries::similarItems(StoreQueries::Similar::Tracks);
    const QByteArray twoTitled = feed(titledEntries({ 1, 2 }));

    // Placed first, a query that yields something would set the row count.
    QTest::newRow("empty-and-one-step-paths-yield-nothing")
            << twoTitled
            << querySet({ { "empty", "" }, { "one", "atom:child#entry" }, { "title", TitlePath } },
                        { "title", "empty", "one" })
            << QStringList { R"(0: "t1" "" "")", R"(1: "t2" "" "")" };
    QTest::newRow("no-target-one-empty-per-record")
            << twoTitled
            << querySet({ { "none", "atom:child#entry atom:link#link" }, { "title", TitlePath } },
                        { "none", "title" })
            << QStringList { R"(0: "" "t1")", R"(1: "" "t2")" };
    QTest::newRow("no-target-with-second-level-only-placeholders")
            << twoTitled
            << querySet({ { "none", "atom:child#entry store:child#metadata atom:" },
                          { "title", TitlePath } },
                        { "none", "title" })
            << QStringList { R"(0: "" "t1")", R"(1: "" "t2")" };
    QTest::newRow("placeholder-before-next-record")
            << feed(titledEntries({ 1 }) + "<entry><s:metadata><id>i2</id></s:metadata></entry>"
                    + titledEntries({ 3 }))
            << search << QStringList { R"(0: "t1" "i1")", R"(1: "" "i2")", R"(2: "t3" "i3")" };
    QTest::newRow("placeholder-at-document-end")
            << feed(titledEntries({ 1, 2 }) + "<entry><s:metadata><id>i3</id></s:metadata></entry>")
            << search << QStringList { R"(0: "t1" "i1")", R"(1: "t2" "i2")", R"(2: "" "i3")" };
    QTest::newRow("last-entry-without-picture")
            << playerFeedLastWithout("picture") << tracks
            << playerRows(R"(3: "t4" "a4" "b4" "4" "" "i4" "a4")");
    QTest::newRow("last-entry-without-title")
            << playerFeedLastWithout("title") << tracks
            << playerRows(R"(3: "" "a4" "b4" "4" "h4" "i4" "a4")");
    // The atom id before the metadata is not the store id, not even after a record that left
    // the metadata open.
    QTest::newRow("second-level-gates-text-target")
            << feed("<entry><s:metadata/></entry><entry><id>atom-id</id><s:metadata><id>i2</id></"
                    "s:metadata></entry>")
            << querySet({ { "id", IdPath } }, { "id" }) << QStringList { R"(0: "")", R"(1: "i2")" };
    QTest::newRow("fourth-child-step-ignored")
            << feed("<entry><s:image url=\"outside\"/><s:metadata><s:image url=\"u1\"><s:size "
                    "url=\"s1\"/>"
                    "</s:image></s:metadata></entry><entry><s:image "
                    "url=\"outside2\"/><s:metadata><s:image/>"
                    "</s:metadata></entry>")
            << querySet({ { "url",
                            "atom:child#entry store:child#metadata store:child#image "
                            "store:child#size :attr#url" } },
                        { "url" })
            << QStringList { R"(0: "u1")", R"(1: "")" };
    QTest::newRow("second-matching-element-in-record-ignored")
            << feed("<entry><link title=\"artistImage100\" href=\"h1\"/><link "
                    "title=\"artistImage100\" href=\"h1b\"/>"
                    "<s:metadata><s:image url=\"u1\"/><s:image url=\"u1b\"/></s:metadata></entry>"
                    + imageEntry(2))
            << querySet({ { "image", ImagePath },
                          { "url",
                            "atom:child#entry store:child#metadata store:child#image :attr#url" } },
                        { "image", "url" })
            << QStringList { R"(0: "h1" "u1")", R"(1: "h2" "")" };
    QTest::newRow("attr-step-not-last-ignored")
            << twoTitled
            << querySet(
                       { { "id", "atom:child#entry :attr#id store:child#metadata atom:child#id" } },
                       { "id" })
            << QStringList { R"(0: "i1")", R"(1: "i2")" };
    QTest::newRow("aidAttr-no-equals")
            << feed("<entry><link alternate=\"other\" href=\"x\"/><link alternate=\"alternate\" "
                    "href=\"h1\"/></entry>")
            << querySet({ { "href",
                            "atom:child#entry atom:link#link atom:aidAttr#alternate :attr#href" } },
                        { "href" })
            << QStringList { R"(0: "h1")" };
    QTest::newRow("aidAttr-two-equals")
            << feed("<entry><link rel=\"x\" href=\"first-part\"/><link rel=\"x=alternate\" "
                    "href=\"whole\"/>"
                    "<link rel=\"alternate\" href=\"h1\"/></entry>")
            << querySet({ { "href",
                            "atom:child#entry atom:link#link atom:aidAttr#rel=x=alternate "
                            ":attr#href" } },
                        { "href" })
            << QStringList { R"(0: "h1")" };
    QTest::newRow("aidAttr-empty-value-reads-record-attribute")
            << feed("<entry href=\"e1\"><link title=\"\" href=\"l1\"/></entry>")
            << querySet({ { "href",
                            "atom:child#entry atom:link#link atom:aidAttr#title= :attr#href" } },
                        { "href" })
            << QStringList { R"(0: "e1")" };
    QTest::newRow("link-without-selector-reads-record-attribute")
            << feed("<entry href=\"e1\"><link href=\"l1\"/></entry><entry><link "
                    "href=\"l2\"/></entry>")
            << querySet({ { "href", "atom:child#entry atom:link#link :attr#href" } }, { "href" })
            << QStringList { R"(0: "e1")", R"(1: "")" };
    QTest::newRow("record-attribute-mode-ignores-limit")
            << QByteArray("<service xmlns=\"") + StoreConstants::AtomPubNamespace + "\" xmlns:s=\""
                    + StoreConstants::SchemaNamespace
                    + "\"><workspace s:countryCode=\"GB\"/><workspace/><workspace "
                      "s:countryCode=\"FI\">"
                      "<workspace s:countryCode=\"nested\"/></workspace></service>"
            << querySet({ { "cc", "app:child#workspace store:attr#countryCode" } }, { "cc" }, 1)
            << QStringList { R"(0: "GB")", R"(1: "")", R"(2: "FI")" };
    QTest::newRow("second-level-attribute-without-third-or-link-never-matches")
            << feed("<entry><s:metadata href=\"m1\"/></entry><entry><s:metadata "
                    "href=\"m2\"/></entry>")
            << querySet({ { "href", "atom:child#entry store:child#metadata :attr#href" } },
                        { "href" })
            << QStringList { R"(0: "")", R"(1: "")" };
    QTest::newRow("all-queries-empty")
            << feed("<title>no entries</title>") << search << QStringList {};
    QTest::newRow("first-column-not-a-query")
            << twoTitled << querySet({ { "title", TitlePath } }, { "nope", "title" })
            << QStringList {};
    QTest::newRow("unknown-column-skipped")
            << twoTitled
            << querySet({ { "title", TitlePath }, { "id", IdPath } }, { "title", "nope", "id" })
            << QStringList { R"(0: "t1" "i1")", R"(1: "t2" "i2")" };
    QTest::newRow("record-in-other-namespace-ignored") << feed(
            titledEntries({ 1 }) + "<x:entry xmlns:x=\"urn:other\"><title>other</title></x:entry>"
            + titledEntries({ 2 })) << titles() << QStringList { R"(0: "t1")", R"(1: "t2")" };
    QTest::newRow("open-record-takes-later-tag")
            << feed(imageEntry(1, false) + "<link title=\"artistImage100\" href=\"feed-level\"/>"
                    + imageEntry(2))
            << querySet({ { "image", ImagePath }, { "title", TitlePath } }, { "title", "image" })
            << QStringList { R"(0: "t1" "feed-level")", R"(1: "t2" "h2")" };
    // The scan over a foreign tag ends on the next record's start tag, which still opens that
    // record; otherwise every later picture would move one row up.
    QTest::newRow("foreign-tag-after-open-record-keeps-next-record")
            << feed(imageEntry(1, false) + "<s:promotion/>" + imageEntry(2) + imageEntry(3)
                    + imageEntry(4) + imageEntry(5))
            << querySet({ { "title", TitlePath }, { "image", ImagePath } }, { "title", "image" }, 4)
            << QStringList { R"(0: "t1" "")", R"(1: "t2" "h2")", R"(2: "t3" "h3")",
                             R"(3: "t4" "h4")" };
    QTest::newRow("text-after-open-record-keeps-next-record")
            << feed("<entry><s:metadata><id>i1</id></s:metadata></entry><title>feed-level</title>"
                    + titledEntries({ 2 }))
            << search << QStringList { R"(0: "feed-level" "i1")", R"(1: "t2" "i2")" };
    QTest::newRow("text-target-with-child-element")
            << feed("<entry><title>ab<b>c</b></title></entry>" + titledEntries({ 2 })) << search
            << QStringList { R"(0: "ab" "")" };
    // The reader hands such a text over in several tokens.
    QTest::newRow("text-in-several-tokens")
            << feed("<entry><title>AC<![CDATA[/]]>DC &amp; &#65;</title></entry>") << titles()
            << QStringList { R"(0: "AC/DC & A")" };
    // The value's end tag, named like the record, is the record's end: the next one still counts.
    QTest::newRow("text-target-named-like-record")
            << feed("<title>a</title><title>b</title>")
            << querySet({ { "title", "atom:child#title atom:child#title" } }, { "title" })
            << QStringList { R"(0: "a")", R"(1: "b")" };
    QTest::newRow("malformed-before-first-record")
            << feed("<title>x</title><broken attr=noquotes/>" + titledEntries({ 1, 2 })) << titles()
            << QStringList { ErrorLine };
    QTest::newRow("malformed-third-record-keeps-two-rows")
            << feed(titledEntries({ 1, 2 }) + "<entry><broken =x/><title>t3</title></entry>")
            << search << QStringList { R"(0: "t1" "i1")", R"(1: "t2" "i2")", ErrorLine };
    // The text read before the break is whole; only a cut-off document leaves a cut-off value.
    QTest::newRow("malformed-inside-text-keeps-text")
            << feed(titledEntries({ 1 }) + "<entry><title>t2</wrong></entry>") << titles()
            << QStringList { R"(0: "t1")", R"(1: "t2")", ErrorLine };
    QTest::newRow("truncated-inside-text-drops-partial-value")
            << feed(titledEntries({ 1, 2 })).replace("</feed>", "<entry><title>tru") << titles()
            << QStringList { R"(0: "t1")", R"(1: "t2")", ErrorLine };
    // The limit ends the extraction; the read goes on and finds the break.
    QTest::newRow("truncated-after-limit")
            << feedOfEntries(5).left(feedOfEntries(5).indexOf("<entry><id>urn:entry:5") + 20)
            << StoreQueries::similarItems(StoreQueries::Similar::Artists)
            << QStringList { R"(0: "title 1" "" "" "href 1" "id 1")",
                             R"(1: "title 2" "" "" "href 2" "id 2")",
                             R"(2: "title 3" "" "" "href 3" "id 3")",
                             R"(3: "title 4" "" "" "href 4" "id 4")", ErrorLine };
    QTest::newRow("nul-byte") << feed(titledEntries({ 1 })
                                      + QByteArray("<entry><title>t\0002</title></entry>", 33))
                              << titles() << QStringList { R"(0: "t1")", R"(1: "t")", ErrorLine };
    QTest::newRow("unescaped-ampersand-after-first-entry")
            << feed(titledEntries({ 1 }) + "<entry><title>t & 2</title></entry>") << titles()
            << QStringList { R"(0: "t1")", R"(1: "")", ErrorLine };
    QTest::newRow("second-root-element") << feed(titledEntries({ 1, 2 })) + "<feed/>" << titles()
                                         << QStringList { R"(0: "t1")", R"(1: "t2")", ErrorLine };
    QTest::newRow("attribute-bomb")
            << attributeBomb(100000) << titles() << QStringList { ErrorLine };
    QTest::newRow("utf16-attribute-bomb")
            << utf16(attributeBomb(100000)) << titles() << QStringList { ErrorLine };
    QTest::newRow("ebcdic-feed") << ebcdic(twoTitled) << titles()
                                 << QStringList { R"(0: "t1")", R"(1: "t2")" };
    QTest::newRow("ebcdic-attribute-bomb")
            << ebcdic(attributeBomb(100000)) << titles() << QStringList { ErrorLine };
    QTest::newRow("deep-nesting") << feed("<entry><title>t1</title>"
                                          + QByteArray("<x>").repeated(100000)
                                          + QByteArray("</x>").repeated(100000) + "</entry>")
                                  << titles() << QStringList { ErrorLine };
    QTest::newRow("namespace-declarations-in-scope")
            << feed(QByteArray("<s:x xmlns:p1=\"urn:1\" xmlns:p2=\"urn:2\" xmlns:p3=\"urn:3\">")
                            .repeated(11)
                    + titledEntries({ 1 }) + QByteArray("</s:x>").repeated(11))
            << titles() << QStringList { ErrorLine };
    QTest::newRow("huge-tag") << feed("<entry><title>t1</title><link href=\""
                                      + QByteArray(1 << 20, 'h') + "\"/></entry>")
                              << titles() << QStringList { ErrorLine };
    // Markup inside comments, CDATA, processing instructions and quoted values is no structure;
    // counted, each kind would open 300 elements.
    QTest::newRow("markup-inside-comments-cdata-pis-values")
            << feed("<!--" + QByteArray("<x>").repeated(300) + "--><?pi "
                    + QByteArray("<x>").repeated(300) + "?><s:note><![CDATA["
                    + QByteArray("<x>").repeated(300) + "]]></s:note>"
                    + QByteArray("<s:note a=\"1>2\" b='3>4'/>").repeated(300)
                    + titledEntries({ 1, 2 }))
            << search << QStringList { R"(0: "t1" "i1")", R"(1: "t2" "i2")" };
    QTest::newRow("undeclared-store-prefix-resolved-for-every-query")
            << QByteArray("<feed xmlns=\"") + StoreConstants::AtomNamespace + "\">"
                    + titledEntries({ 1, 2 }).replace("s:", "kel:") + "</feed>"
            << search << QStringList { R"(0: "t1" "i1")", R"(1: "t2" "i2")" };
    QTest::newRow("utf16-doctype")
            << utf16(QByteArray(twoTitled).replace("<feed", "<!DOCTYPE feed><feed")) << titles()
            << QStringList { ErrorLine };
    // U+0122 is the bytes '"' and 1 in UTF-16LE: read as bytes, each tag would stay open.
    QTest::newRow("utf16-feed") << utf16(
            feed(QByteArray("<s:note a=\"\u0122>\"/>").repeated(300) + titledEntries({ 1, 2 })))
                                << titles() << QStringList { R"(0: "t1")", R"(1: "t2")" };
    QTest::newRow("doctype-in-comment-harmless")
            << feed("<!-- no <!DOCTYPE here -->" + titledEntries({ 1, 2 })) << titles()
            << QStringList { R"(0: "t1")", R"(1: "t2")" };
    QTest::newRow("attribute-list-bomb")
            << attributeListBomb(100000) << titles() << QStringList { ErrorLine };
    QTest::newRow("entity-expansion-rejected")
            << entityExpansionDocument() << titles() << QStringList { ErrorLine };
}

void tst_XmlQueries::extraction()
{
    QFETCH(QByteArray, document);
    QFETCH(StoreQueries::QuerySet, set);
    QFETCH(QStringList, expected);

    PromotionXmlParser parser(nullptr);
    QSignalSpy parseReadySpy(&parser, &PromotionXmlParser::parseReady);
    parser.setData(document);
    request(parser, set);
    QVERIFY(parseReadySpy.wait());

    const QStringList error = parser.hasError() ? QStringList { ErrorLine } : QStringList {};
    QCOMPARE(formatMap(parser.getResultsMap()) + error, expected);
    QCOMPARE(parseReadySpy.count(), 1);
}

QTEST_GUILESS_MAIN(tst_XmlQueries)
#include "tst_xmlqueries.moc"
