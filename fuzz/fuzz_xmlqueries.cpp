// Feeds arbitrary bytes to the XML extraction, the way the model hands over store answers.
//
// The first byte chooses the queries: one of the plug-in's query sets, or descriptors built from
// the following bytes (see descriptorsFrom). The rest is the document. Each input runs through the
// plug-in's worker, and the single read of all queries must give each query the values, and the
// document the verdict, of the reference that reads once per query.

#include <QCoreApplication>
#include <QSemaphore>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "promotionxmlparser_p.h"
#include "storeconstants.h"
#include "storequeries.h"
#include "xmlquerybatchpass.h"
#include "xmlquerypass.h"
#include "xmlstructurecheck.h"

namespace {

using Request = StoreQueries::QuerySet;

QList<Request> storeRequests()
{
    return { StoreQueries::territoryLookup(), StoreQueries::artistSearch(),
             StoreQueries::similarItems(StoreQueries::Similar::Tracks),
             StoreQueries::similarItems(StoreQueries::Similar::Albums),
             StoreQueries::similarItems(StoreQueries::Similar::Artists) };
}

class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size) : m_data(data), m_size(size) { }

    int next(int bound) { return m_position < m_size ? m_data[m_position++] % bound : 0; }
    QByteArray rest() const
    {
        return QByteArray(reinterpret_cast<const char *>(m_data) + m_position,
                          qsizetype(m_size - m_position));
    }

    // A short text: a word from the answers' vocabulary, or raw bytes up to a '|'.
    QString text()
    {
        static const char *const words[] = { "entry",          "title",     "id",   "metadata",
                                             "link",           "workspace", "href", "countryCode",
                                             "artistImage100", "x",         "" };
        if (next(4))
            return QLatin1String(words[next(11)]);
        QByteArray raw;
        while (m_position < m_size && m_data[m_position] != '|' && raw.size() < 16)
            raw += char(m_data[m_position++]);
        return QString::fromUtf8(raw);
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_position = 0;
};

// Descriptors from the input: query count, then per query a name and steps, each step a namespace
// and a marker with a text; then a value limit and the columns.
Request descriptorsFrom(Bytes &bytes)
{
    static const char *const markers[] = { "child#",   "attr#", "link#",
                                           "aidAttr#", "",      "child#child#" };
    const QString namespaces[] = { QString(), QLatin1String(StoreConstants::AtomNamespace),
                                   QLatin1String(StoreConstants::SchemaNamespace),
                                   QLatin1String(StoreConstants::AtomPubNamespace) };
    Request request;
    request.namespaces =
            StoreQueries::namespaces(QStringLiteral("atom"), StoreConstants::AtomNamespace);
    const int count = 1 + bytes.next(7);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("q%1").arg(bytes.next(5));
        PromotionXmlPath path;
        for (int steps = bytes.next(6); steps > 0; --steps) {
            const QString &namespaceUri = namespaces[bytes.next(4)];
            QString text = QLatin1String(markers[bytes.next(6)]) + bytes.text();
            if (bytes.next(4) == 0)
                text += QLatin1Char('=') + bytes.text();
            path.append({ namespaceUri, text });
        }
        request.queries.append({ name, path });
    }
    request.limit = bytes.next(7) - 1;
    for (int columns = bytes.next(6); columns > 0; --columns)
        request.columns.append(QStringLiteral("q%1").arg(bytes.next(6)));
    if (request.columns.isEmpty())
        request.columns.append(QStringLiteral("q0"));
    return request;
}

class Worker
{
public:
    Worker()
    {
        QObject::connect(
                &m_worker, &PromotionXmlParserPrivate::parseReady, &m_worker,
                [this] { m_ready.release(); }, Qt::DirectConnection);
    }

    void parse(const QByteArray &document, const Request &request)
    {
        m_worker.setData(document);
        m_worker.parseUseQXmlStreamReader(request.queries, request.namespaces, request.columns,
                                          false, request.limit);
        // An empty document starts nothing and reports nothing.
        if (!document.isEmpty())
            m_ready.acquire();
        m_worker.wait();
        m_worker.getResultsMap();
    }

private:
    PromotionXmlParserPrivate m_worker;
    QSemaphore m_ready;
};

// The single read as the worker runs it, on a document within the structure limits.
XmlQueryPass::Reading singleRead(const QByteArray &document, const Request &request)
{
    QList<XmlQueryPath> paths;
    for (const auto &query : request.queries)
        paths.append(XmlQueryPath::compile(query.second));
    QXmlStreamReader reader;
    reader.addExtraNamespaceDeclarations(request.namespaces);
    reader.addData(document);
    XmlQueryPass::Reading reading;
    reading.values = XmlQueryBatchPass(reader, paths, request.limit, [] { return false; }).run();
    reading.whole = reader.tokenType() == QXmlStreamReader::EndDocument;
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QList<Request> store = storeRequests();
    static Worker worker;

    Bytes bytes(data, size);
    const int choice = bytes.next(8);
    const Request request = choice < int(store.size()) ? store.at(choice) : descriptorsFrom(bytes);
    const QByteArray document = bytes.rest();

    worker.parse(document, request);
    // Beyond the limits the worker reads nothing.
    if (!XmlStructureCheck::isWithinLimits(document))
        return 0;
    const XmlQueryPass::Reading expected =
            XmlQueryPass::readEach(document, request.namespaces, request.queries, request.limit);
    const XmlQueryPass::Reading actual = singleRead(document, request);
    // The model drops every value of a document that is not read to its end, so the engines
    // need to agree on those values only for a whole document, and always on whether it was.
    if (actual.whole != expected.whole || (expected.whole && actual.values != expected.values)) {
        for (qsizetype i = 0; i < request.queries.size(); ++i) {
            std::fprintf(stderr, "query %s: single read %s; read per query %s\n",
                         qPrintable(request.queries.at(i).first),
                         qPrintable(actual.values.at(i).join(u'|')),
                         qPrintable(expected.values.at(i).join(u'|')));
        }
        std::fprintf(stderr, "whole: single read %d, read per query %d\n", int(actual.whole),
                     int(expected.whole));
        std::abort();
    }
    return 0;
}
