#include <QDir>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QSignalSpy>
#include <QTest>

#include "promotionxmlparser.h"
#include "testfiles.h"
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

// The query set a case names: one of the model's ("set: artist-search"), or
// its own queries ("query title: atom:child#entry atom:child#title") with
// "columns:" and "limit:", under the namespace declarations the model hands over.
StoreQueries::QuerySet querySet(const QStringList &header)
{
    static const QMap<QString, StoreQueries::QuerySet> named {
        { QStringLiteral("territory"), StoreQueries::territoryLookup() },
        { QStringLiteral("artist-search"), StoreQueries::artistSearch() },
        { QStringLiteral("similar-tracks"),
          StoreQueries::similarItems(StoreQueries::Similar::Tracks) },
        { QStringLiteral("similar-albums"),
          StoreQueries::similarItems(StoreQueries::Similar::Albums) },
        { QStringLiteral("similar-artists"),
          StoreQueries::similarItems(StoreQueries::Similar::Artists) },
    };
    StoreQueries::QuerySet set {
        StoreQueries::namespaces(QStringLiteral("atom"), StoreConstants::AtomNamespace), {}, {}, 0
    };
    for (const QString &line : header) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QString key = line.left(colon);
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("set"))
            return named.value(value);
        if (key.startsWith(QLatin1String("query ")))
            set.queries.append({ key.mid(6), path(value) });
        else if (key == QLatin1String("columns"))
            set.columns = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        else if (key == QLatin1String("limit"))
            set.limit = value.toInt();
    }
    return set;
}

StoreQueries::QuerySet titles()
{
    return querySet({ QStringLiteral("query title: ") + QLatin1String(TitlePath),
                      QStringLiteral("columns: title") });
}

QByteArray titledEntries(const QList<int> &numbers)
{
    QByteArray body;
    for (int n : numbers)
        body += "<entry><title>t" + QByteArray::number(n) + "</title><s:metadata><id>i"
                + QByteArray::number(n) + "</id></s:metadata></entry>";
    return body;
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

    // Each case in the data folder: <name>.xml, the answer, and <name>.expected,
    // its query set, a line "---" and the rows it gives ("<error>" last for a
    // document that is refused, broken or cut short); "#" lines before the
    // query set say what the case is about.
    const QStringList cases =
            QDir(QStringLiteral(TEST_DATA)).entryList({ QStringLiteral("*.expected") });
    for (const QString &file : cases) {
        const QString name = file.chopped(int(strlen(".expected")));
        const QStringList lines =
                QString::fromUtf8(TestFiles::read(QStringLiteral(TEST_DATA "/") + file))
                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const qsizetype rule = lines.indexOf(QStringLiteral("---"));
        QVERIFY2(rule > 0, qPrintable(file + QStringLiteral(": no query set before \"---\"")));
        const QStringList header =
                lines.mid(0, rule).filter(QRegularExpression(QStringLiteral("^[^#]")));
        QTest::newRow(qPrintable(name))
                << TestFiles::read(QStringLiteral(TEST_DATA "/") + name + QStringLiteral(".xml"))
                << querySet(header) << lines.mid(rule + 1);
    }

    // Documents made here: too large, or not UTF-8 text, to keep as files.
    const StoreQueries::QuerySet search = StoreQueries::artistSearch();
    const QByteArray twoTitled = feed(titledEntries({ 1, 2 }));
    QTest::newRow("nul-byte") << feed(titledEntries({ 1 })
                                      + QByteArray("<entry><title>t\0002</title></entry>", 33))
                              << titles() << QStringList { R"(0: "t1")", R"(1: "t")", ErrorLine };
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
    QTest::newRow("utf16-doctype")
            << utf16(QByteArray(twoTitled).replace("<feed", "<!DOCTYPE feed><feed")) << titles()
            << QStringList { ErrorLine };
    // U+0122 is the bytes '"' and 1 in UTF-16LE: read as bytes, each tag would stay open.
    QTest::newRow("utf16-feed") << utf16(
            feed(QByteArray("<s:note a=\"\u0122>\"/>").repeated(300) + titledEntries({ 1, 2 })))
                                << titles() << QStringList { R"(0: "t1")", R"(1: "t2")" };
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
