// Times the XML extraction on store answers of growing size and sets it beside the floor of a
// streaming reader (one bare token pass) and two tree-building parsers with XPath, all on the
// same bytes in the same run. Prints medians; exits non-zero when the extractors disagree.
//
// Usage: bench_xml [milliseconds per answer size, default 1500]

#include <QCoreApplication>
#include <QSemaphore>
#include <QXmlStreamReader>

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>

#include "promotionxmlparser_p.h"
#include "storeconstants.h"
#include "storefeedwriter.h"

namespace {

using Clock = std::chrono::steady_clock;
using ResultMap = QMap<int, QStringList>;

struct Query
{
    QString name;
    QList<QPair<char, QString>> steps; // 'a' Atom, 's' store schema
    QByteArray libxml2XPath;
    QByteArray pugixmlXPath; // pugixml knows no namespaces: names carry the answer's prefixes
};

struct QuerySet
{
    const char *title;
    QList<Query> queries;
    QStringList columns;
    int limit;
    std::function<QByteArray(int)> answer;
};

QByteArray entries(int limit, const char *prefix)
{
    return limit > 0 ? QByteArray("(//") + prefix + "entry)[position() <= " + QByteArray::number(limit) + "]"
                     : QByteArray("//") + prefix + "entry";
}

Query textQuery(const QString &name, int limit, const QStringList &metadataChild)
{
    Query query{name, {{'a', "child#entry"}}, entries(limit, "atom:"), entries(limit, "")};
    if (metadataChild.isEmpty()) {
        query.steps.append({'a', "child#title"});
        query.libxml2XPath += "/atom:title[1]";
        query.pugixmlXPath += "/title[1]";
    } else {
        query.steps.append({'s', "child#metadata"});
        query.steps.append({'a', "child#" + metadataChild.constFirst()});
        query.libxml2XPath += "/kel:metadata/atom:" + metadataChild.constFirst().toLatin1();
        query.pugixmlXPath += "/kel:metadata/" + metadataChild.constFirst().toLatin1();
    }
    return query;
}

Query imageQuery(const QString &name, int limit, const QString &title)
{
    Query query{name,
                {{'a', "child#entry"}, {'a', "link#link"}, {'a', "aidAttr#title=" + title}, {'a', "attr#href"}},
                entries(limit, "atom:"), entries(limit, "")};
    query.libxml2XPath += "/atom:link[@title='" + title.toLatin1() + "'][1]/@href";
    query.pugixmlXPath += "/link[@title='" + title.toLatin1() + "'][1]/@href";
    return query;
}

QList<QuerySet> querySets()
{
    const int similarLimit = 4;
    QuerySet similarTracks{"similar tracks (player view, value limit 4)",
                           {textQuery("text1", similarLimit, {}),
                            textQuery("text2", similarLimit, {"primaryartist"}),
                            textQuery("text3", similarLimit, {"takenfrom"}),
                            textQuery("duration", similarLimit, {"duration"}),
                            imageQuery("image", similarLimit, "albumart100"),
                            textQuery("METADATA1", similarLimit, {"id"}),
                            textQuery("METADATA2", similarLimit, {"primaryartist"})},
                           {"text1", "text2", "text3", "duration", "image", "METADATA1", "METADATA2"},
                           similarLimit,
                           [](int n) { return StoreFeedWriter::generatedSimilarTracksFeed(n); }};
    QuerySet artistSearch{"artist search (no value limit)",
                          {textQuery("title", 0, {}), textQuery("id", 0, {"id"})},
                          {"title", "id"},
                          0,
                          [](int n) { return StoreFeedWriter::generatedArtistSearchFeed(n); }};
    return {similarTracks, artistSearch};
}

PromotionXmlQueryList descriptors(const QList<Query> &queries)
{
    PromotionXmlQueryList list;
    for (const Query &query : queries) {
        PromotionXmlPath path;
        for (const auto &step : query.steps)
            path.append({QLatin1String(step.first == 'a' ? StoreConstants::AtomNamespace
                                                          : StoreConstants::SchemaNamespace),
                         step.second});
        list.append({query.name, path});
    }
    return list;
}

// Rows the way the result map holds them, from one value list per query.
ResultMap rowsOf(const QList<QStringList> &values)
{
    ResultMap rows;
    for (qsizetype row = 0; !values.isEmpty() && row < values.constFirst().size(); ++row) {
        QStringList line;
        for (const QStringList &column : values)
            line.append(column.value(row, QStringLiteral("<missing>")));
        rows.insert(int(row), line);
    }
    return rows;
}

// The worker keeps its reader from request to request, so the floor does the same.
bool barePass(QXmlStreamReader &reader, const QByteArray &data)
{
    reader.clear();
    reader.addData(data);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

ResultMap libxml2Rows(const QByteArray &data, const QList<Query> &queries)
{
    QList<QStringList> values;
    xmlDocPtr document = xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr, XML_PARSE_NONET);
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    xmlXPathRegisterNs(context, BAD_CAST "atom", BAD_CAST StoreConstants::AtomNamespace);
    xmlXPathRegisterNs(context, BAD_CAST "kel", BAD_CAST StoreConstants::SchemaNamespace);
    for (const Query &query : queries) {
        QStringList list;
        xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST query.libxml2XPath.constData(), context);
        if (result && result->nodesetval) {
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                xmlChar *content = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
                list.append(QString::fromUtf8(reinterpret_cast<const char *>(content)));
                xmlFree(content);
            }
        }
        xmlXPathFreeObject(result);
        values.append(list);
    }
    xmlXPathFreeContext(context);
    xmlFreeDoc(document);
    return rowsOf(values);
}

ResultMap pugixmlRows(const QByteArray &data, const QList<Query> &queries)
{
    QList<QStringList> values;
    pugi::xml_document document;
    document.load_buffer(data.constData(), size_t(data.size()));
    for (const Query &query : queries) {
        QStringList list;
        for (const pugi::xpath_node &node : document.select_nodes(query.pugixmlXPath.constData())) {
            list.append(QString::fromUtf8(node.attribute() ? node.attribute().value()
                                                            : node.node().child_value()));
        }
        values.append(list);
    }
    return rowsOf(values);
}

// Notes when the worker's event loop hands over the request: the end of the thread's start.
class DeliveryClock : public QObject
{
public:
    explicit DeliveryClock(Clock::time_point *deliveredAt)
        : m_deliveredAt(deliveredAt)
    {
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            *m_deliveredAt = Clock::now();
        return false;
    }

private:
    Clock::time_point *m_deliveredAt;
};

// Drives the plug-in's worker as the model does and takes its times on the worker thread.
class WorkerProbe
{
public:
    explicit WorkerProbe(bool passPerQuery)
        : m_deliveryClock(&m_deliveredAt)
    {
        m_worker.setPassPerQuery(passPerQuery);
        m_deliveryClock.moveToThread(&m_worker);
        m_worker.installEventFilter(&m_deliveryClock);
        QObject::connect(&m_worker, &PromotionXmlParserPrivate::parseReady, &m_worker,
                         [this] {
                             m_readyAt = Clock::now();
                             m_ready.release();
                         },
                         Qt::DirectConnection);
    }

    // Microseconds from the request to parseReady(), and from the request's delivery on the
    // running worker thread to parseReady().
    QPair<double, double> run(const QByteArray &data, const PromotionXmlQueryList &queries,
                              const QStringList &columns, int limit, ResultMap *rows = nullptr)
    {
        static const QVector<QXmlStreamNamespaceDeclaration> namespaces = {
            {QStringLiteral("kel"), QLatin1String(StoreConstants::SchemaNamespace)},
            {QStringLiteral("atom"), QLatin1String(StoreConstants::AtomNamespace)}};
        m_worker.setData(data);
        const Clock::time_point requestedAt = Clock::now();
        m_worker.parseUseQXmlStreamReader(queries, namespaces, columns, false, limit);
        m_ready.acquire();
        m_worker.wait();
        const ResultMap result = m_worker.getResultsMap();
        if (rows)
            *rows = result;
        return {microseconds(requestedAt, m_readyAt), microseconds(m_deliveredAt, m_readyAt)};
    }

    static double microseconds(Clock::time_point from, Clock::time_point to)
    {
        return std::chrono::duration<double, std::micro>(to - from).count();
    }

private:
    PromotionXmlParserPrivate m_worker;
    DeliveryClock m_deliveryClock;
    QSemaphore m_ready;
    Clock::time_point m_deliveredAt;
    Clock::time_point m_readyAt;
};

double median(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const qsizetype middle = samples.size() / 2;
    return samples.size() % 2 ? samples.at(middle) : (samples.at(middle - 1) + samples.at(middle)) / 2;
}

template<typename Function>
double timed(Function function)
{
    const Clock::time_point start = Clock::now();
    function();
    return WorkerProbe::microseconds(start, Clock::now());
}

QString figure(double us, double bare)
{
    const QString time = us < 1000 ? QString::number(us, 'f', 1) + " us" : QString::number(us / 1000, 'f', 2) + " ms";
    return QStringLiteral("%1 (%2x)").arg(time).arg(us / bare, 0, 'f', 2);
}

bool benchSet(const QuerySet &set, int budgetMs)
{
    std::printf("\n%s\n", set.title);
    std::printf("%8s %9s | %10s | %-21s | %-21s | %-21s | %-21s | %-21s | %s\n", "entries", "bytes",
                "bare pass", "worker, no start", "worker, with start", "read per query", "libxml2 + XPath",
                "pugixml + XPath", "same values");
    const PromotionXmlQueryList queries = descriptors(set.queries);
    bool allSame = true;
    for (int entryCount : {4, 100, 1000, 10000}) {
        const QByteArray data = set.answer(entryCount);
        QXmlStreamReader reader;
        WorkerProbe probe(false);
        WorkerProbe perQueryProbe(true);

        ResultMap workerRows;
        ResultMap perQueryRows;
        probe.run(data, queries, set.columns, set.limit, &workerRows);
        perQueryProbe.run(data, queries, set.columns, set.limit, &perQueryRows);
        const bool same = workerRows == perQueryRows && workerRows == libxml2Rows(data, set.queries)
            && workerRows == pugixmlRows(data, set.queries) && !workerRows.isEmpty() && barePass(reader, data);
        allSame = allSame && same;

        // Round robin, so that a busy moment on the machine hits every contender alike.
        QList<double> bare, withStart, noStart, perQuery, libxml2, pugixml;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(budgetMs);
        while ((Clock::now() < end || bare.size() < 11) && bare.size() < 5000) {
            bare.append(timed([&] { barePass(reader, data); }));
            const QPair<double, double> worker = probe.run(data, queries, set.columns, set.limit);
            withStart.append(worker.first);
            noStart.append(worker.second);
            perQuery.append(perQueryProbe.run(data, queries, set.columns, set.limit).second);
            libxml2.append(timed([&] { libxml2Rows(data, set.queries); }));
            pugixml.append(timed([&] { pugixmlRows(data, set.queries); }));
        }
        const double floor = median(bare);
        std::printf("%8d %9lld | %10s | %-21s | %-21s | %-21s | %-21s | %-21s | %s (%lld rounds)\n", entryCount,
                    static_cast<long long>(data.size()), qPrintable(figure(floor, floor).section(' ', 0, 1)),
                    qPrintable(figure(median(noStart), floor)), qPrintable(figure(median(withStart), floor)),
                    qPrintable(figure(median(perQuery), floor)), qPrintable(figure(median(libxml2), floor)), qPrintable(figure(median(pugixml), floor)),
                    same ? "yes" : "NO", static_cast<long long>(bare.size()));
        std::fflush(stdout);
    }
    return allSame;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int budgetMs = argc > 1 ? QByteArray(argv[1]).toInt() : 1500;
    xmlInitParser();
    std::printf("Medians per request; in brackets the ratio to one bare QXmlStreamReader pass.\n"
                "worker: the plug-in's parser thread, timed to parseReady() from the moment its event loop\n"
                "hands over the request (no start) or from the request (with start); read per query:\n"
                "the same worker reading the document once per query, as before (no start).\n");
    bool same = true;
    for (const QuerySet &set : querySets())
        same = benchSet(set, budgetMs) && same;
    xmlCleanupParser();
    return same ? 0 : 1;
}
