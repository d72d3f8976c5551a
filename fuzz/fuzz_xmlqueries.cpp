// Feeds arbitrary bytes to the XML extraction, the way the model hands over store answers.
//
// The first byte chooses the queries: one of the plug-in's query sets, or descriptors built from
// the following bytes (see descriptorsFrom). The rest is the document. Each input runs twice, once
// read per query and once in a single read, and the two result maps and error flags must agree.

#include <QCoreApplication>
#include <QSemaphore>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "promotionxmlparser_p.h"
#include "storeconstants.h"
#include "storequeries.h"

namespace {

using Request = StoreQueries::QuerySet;

QList<Request> storeRequests()
{
    return {StoreQueries::territoryLookup(), StoreQueries::artistSearch(),
            StoreQueries::similarItems(StoreQueries::Similar::Tracks),
            StoreQueries::similarItems(StoreQueries::Similar::Albums),
            StoreQueries::similarItems(StoreQueries::Similar::Artists)};
}

class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    int next(int bound) { return m_position < m_size ? m_data[m_position++] % bound : 0; }
    QByteArray rest() const
    {
        return QByteArray(reinterpret_cast<const char *>(m_data) + m_position, qsizetype(m_size - m_position));
    }

    // A short text: a word from the answers' vocabulary, or raw bytes up to a '|'.
    QString text()
    {
        static const char *const words[] = {"entry", "title", "id", "metadata", "link", "workspace",
                                            "href", "countryCode", "artistImage100", "x", ""};
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
    static const char *const markers[] = {"child#", "attr#", "link#", "aidAttr#", "", "child#child#"};
    const QString namespaces[] = {QString(), QLatin1String(StoreConstants::AtomNamespace),
                                  QLatin1String(StoreConstants::SchemaNamespace),
                                  QLatin1String(StoreConstants::AtomPubNamespace)};
    Request request;
    request.namespaces = StoreQueries::namespaces(QStringLiteral("atom"), StoreConstants::AtomNamespace);
    const int count = 1 + bytes.next(7);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("q%1").arg(bytes.next(5));
        PromotionXmlPath path;
        for (int steps = bytes.next(6); steps > 0; --steps) {
            const QString &namespaceUri = namespaces[bytes.next(4)];
            QString text = QLatin1String(markers[bytes.next(6)]) + bytes.text();
            if (bytes.next(4) == 0)
                text += QLatin1Char('=') + bytes.text();
            path.append({namespaceUri, text});
        }
        request.queries.append({name, path});
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
    explicit Worker(bool passPerQuery)
    {
        m_worker.setPassPerQuery(passPerQuery);
        QObject::connect(&m_worker, &PromotionXmlParserPrivate::parseReady, &m_worker,
                         [this] { m_ready.release(); }, Qt::DirectConnection);
    }

    QPair<QMap<int, QStringList>, bool> parse(const QByteArray &document, const Request &request)
    {
        m_worker.setData(document);
        m_worker.parseUseQXmlStreamReader(request.queries, request.namespaces, request.columns, false, request.limit);
        // An empty document starts nothing and reports nothing.
        if (!document.isEmpty())
            m_ready.acquire();
        m_worker.wait();
        return {m_worker.getResultsMap(), m_worker.hasError()};
    }

private:
    PromotionXmlParserPrivate m_worker;
    QSemaphore m_ready;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QList<Request> store = storeRequests();
    static Worker readPerQuery(true);
    static Worker singleRead(false);

    Bytes bytes(data, size);
    const int choice = bytes.next(8);
    const Request request = choice < int(store.size()) ? store.at(choice) : descriptorsFrom(bytes);
    const QByteArray document = bytes.rest();

    const auto expected = readPerQuery.parse(document, request);
    const auto actual = singleRead.parse(document, request);
    if (actual != expected) {
        std::fprintf(stderr, "single read: %lld rows, error %d; read per query: %lld rows, error %d\n",
                     static_cast<long long>(actual.first.size()), int(actual.second),
                     static_cast<long long>(expected.first.size()), int(expected.second));
        std::abort();
    }
    return 0;
}
