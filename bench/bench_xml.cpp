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
#include "storequeries.h"
#include "xmlquerypass.h"

namespace {

using Clock = std::chrono::steady_clock;
using ResultMap = QMap<int, QStringList>;

struct QuerySet
{
    const char *title;
    StoreQueries::QuerySet queries;
    std::function<QByteArray(int)> answer;
};

// The same query as an XPath expression. pugixml knows no namespaces, so for it the names carry
// the answer's own prefixes: none for Atom, "kel:" for the store schema.
QByteArray xpath(const StoreQueries::Path &path, int limit, bool namespaceAware)
{
    const auto prefixed = [namespaceAware](const QPair<QString, QString> &step,
                                           const char *marker) {
        const QByteArray prefix = step.first == QLatin1String(StoreConstants::SchemaNamespace)
                ? "kel:"
                : (namespaceAware ? "atom:" : "");
        return prefix + step.second.mid(qsizetype(qstrlen(marker))).toLatin1();
    };
    const QByteArray record = prefixed(path.constFirst(), "child#");
    QByteArray expression = limit > 0
            ? "(//" + record + ")[position() <= " + QByteArray::number(limit) + "]"
            : "//" + record;
    for (qsizetype i = 1; i < path.size(); ++i) {
        const QString &text = path.at(i).second;
        if (text.startsWith(QLatin1String("child#")))
            expression +=
                    "/" + prefixed(path.at(i), "child#") + (i + 1 == path.size() ? "[1]" : "");
        else if (text.startsWith(QLatin1String("link#")))
            expression += "/" + prefixed(path.at(i), "link#");
        else if (text.startsWith(QLatin1String("aidAttr#")))
            expression += "[@" + text.mid(8).section(u'=', 0, 0).toLatin1() + "='"
                    + text.section(u'=', -1).toLatin1() + "']";
        else if (text.startsWith(QLatin1String("attr#")))
            expression += "[1]/@" + text.mid(5).toLatin1();
    }
    return expression;
}

QList<QByteArray> xpaths(const StoreQueries::QuerySet &set, bool namespaceAware)
{
    QList<QByteArray> expressions;
    for (const auto &query : set.queries)
        expressions.append(xpath(query.second, set.limit, namespaceAware));
    return expressions;
}

QList<QuerySet> querySets()
{
    return { { "similar tracks (player view, value limit 4)",
               StoreQueries::similarItems(StoreQueries::Similar::Tracks),
               [](int n) { return StoreFeedWriter::generatedSimilarTracksFeed(n); } },
             { "artist search (no value limit)", StoreQueries::artistSearch(),
               [](int n) { return StoreFeedWriter::generatedArtistSearchFeed(n); } } };
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

ResultMap libxml2Rows(const QByteArray &data, const QList<QByteArray> &expressions)
{
    QList<QStringList> values;
    xmlDocPtr document =
            xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr, XML_PARSE_NONET);
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    xmlXPathRegisterNs(context, BAD_CAST "atom", BAD_CAST StoreConstants::AtomNamespace);
    xmlXPathRegisterNs(context, BAD_CAST "kel", BAD_CAST StoreConstants::SchemaNamespace);
    for (const QByteArray &expression : expressions) {
        QStringList list;
        xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST expression.constData(), context);
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

ResultMap pugixmlRows(const QByteArray &data, const QList<QByteArray> &expressions)
{
    QList<QStringList> values;
    pugi::xml_document document;
    document.load_buffer(data.constData(), size_t(data.size()));
    for (const QByteArray &expression : expressions) {
        QStringList list;
        for (const pugi::xpath_node &node : document.select_nodes(expression.constData())) {
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
    explicit DeliveryClock(Clock::time_point *deliveredAt) : m_deliveredAt(deliveredAt) { }

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
    WorkerProbe() : m_deliveryClock(&m_deliveredAt)
    {
        m_deliveryClock.moveToThread(&m_worker);
        m_worker.installEventFilter(&m_deliveryClock);
        QObject::connect(
                &m_worker, &PromotionXmlParserPrivate::parseReady, &m_worker,
                [this] {
                    m_readyAt = Clock::now();
                    m_ready.release();
                },
                Qt::DirectConnection);
    }

    // Microseconds from the request to parseReady(), and from the request's delivery on the
    // running worker thread to parseReady().
    QPair<double, double> run(const QByteArray &data, const StoreQueries::QuerySet &set,
                              ResultMap *rows = nullptr)
    {
        m_worker.setData(data);
        const Clock::time_point requestedAt = Clock::now();
        m_worker.parseUseQXmlStreamReader(set.queries, set.namespaces, set.columns, false,
                                          set.limit);
        m_ready.acquire();
        m_worker.wait();
        const ResultMap result = m_worker.getResultsMap();
        if (rows)
            *rows = result;
        return { microseconds(requestedAt, m_readyAt), microseconds(m_deliveredAt, m_readyAt) };
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
    return samples.size() % 2 ? samples.at(middle)
                              : (samples.at(middle - 1) + samples.at(middle)) / 2;
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
    const QString time = us < 1000 ? QString::number(us, 'f', 1) + " us"
                                   : QString::number(us / 1000, 'f', 2) + " ms";
    return QStringLiteral("%1 (%2x)").arg(time).arg(us / bare, 0, 'f', 2);
}

bool benchSet(const QuerySet &set, int budgetMs)
{
    std::printf("\n%s\n", set.title);
    std::printf("%8s %9s | %10s | %-21s | %-21s | %-21s | %-21s | %-21s | %s\n", "entries", "bytes",
                "bare pass", "worker, no start", "worker, with start", "read per query",
                "libxml2 + XPath", "pugixml + XPath", "same values");
    const QList<QByteArray> libxml2XPaths = xpaths(set.queries, true);
    const QList<QByteArray> pugixmlXPaths = xpaths(set.queries, false);
    bool allSame = true;
    for (int entryCount : { 4, 100, 1000, 10000 }) {
        const QByteArray data = set.answer(entryCount);
        QXmlStreamReader reader;
        WorkerProbe probe;
        const auto readEach = [&] {
            return XmlQueryPass::readEach(data, set.queries.namespaces, set.queries.queries,
                                          set.queries.limit);
        };

        ResultMap workerRows;
        probe.run(data, set.queries, &workerRows);
        const XmlQueryPass::Reading perQueryReading = readEach();
        const bool same = workerRows == rowsOf(perQueryReading.values) && perQueryReading.whole
                && workerRows == libxml2Rows(data, libxml2XPaths)
                && workerRows == pugixmlRows(data, pugixmlXPaths) && !workerRows.isEmpty()
                && barePass(reader, data);
        allSame = allSame && same;

        // Round robin, so that a busy moment on the machine hits every contender alike.
        QList<double> bare, withStart, noStart, perQuery, libxml2, pugixml;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(budgetMs);
        while ((Clock::now() < end || bare.size() < 11) && bare.size() < 5000) {
            bare.append(timed([&] { barePass(reader, data); }));
            const QPair<double, double> worker = probe.run(data, set.queries);
            withStart.append(worker.first);
            noStart.append(worker.second);
            perQuery.append(timed(readEach));
            libxml2.append(timed([&] { libxml2Rows(data, libxml2XPaths); }));
            pugixml.append(timed([&] { pugixmlRows(data, pugixmlXPaths); }));
        }
        const double floor = median(bare);
        std::printf("%8d %9lld | %10s | %-21s | %-21s | %-21s | %-21s | %-21s | %s (%lld rounds)\n",
                    entryCount, static_cast<long long>(data.size()),
                    qPrintable(figure(floor, floor).section(' ', 0, 1)),
                    qPrintable(figure(median(noStart), floor)),
                    qPrintable(figure(median(withStart), floor)),
                    qPrintable(figure(median(perQuery), floor)),
                    qPrintable(figure(median(libxml2), floor)),
                    qPrintable(figure(median(pugixml), floor)), same ? "yes" : "NO",
                    static_cast<long long>(bare.size()));
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
    std::printf(
            "Medians per request; in brackets the ratio to one bare QXmlStreamReader pass.\n"
            "worker: the plug-in's parser thread, timed to parseReady() from the moment its event "
            "loop\n"
            "hands over the request (no start) or from the request (with start); read per query:\n"
            "the reference that reads the document once per query, on the calling thread.\n");
    bool same = true;
    for (const QuerySet &set : querySets())
        same = benchSet(set, budgetMs) && same;
    xmlCleanupParser();
    return same ? 0 : 1;
}
