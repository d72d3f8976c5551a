#include "promotionxmlparser_p.h"

#include <QDebug>
#include <QMutexLocker>
#include <QTimer>

#include <utility>

#include "xmlquerybatchpass.h"
#include "xmlquerypath.h"
#include "xmlstructurecheck.h"

PromotionXmlParserPrivate::PromotionXmlParserPrivate()
    : QThread(nullptr),
      m_abortCheck([this] { return isAborted(); })
{
    moveToThread(this);
}

PromotionXmlParserPrivate::~PromotionXmlParserPrivate()
{
    // Nobody will read the result any more: let a running pass stop at its next check.
    {
        QMutexLocker locker(&m_mutex);
        m_abort = true;
    }
    quit();
    if (!wait(m_destructionTimeout)) {
        qDebug() << "virtual PromotionXmlParserPrivate::~PromotionXmlParserPrivate()"
                 << " - Thread didn't quit properly!";
        // Destroying a running thread would take the process down with it.
        wait();
    }
}

void PromotionXmlParserPrivate::setData(const QByteArray &data)
{
    if (isRunning()) {
        {
            QMutexLocker locker(&m_mutex);
            m_abort = true;
        }
        if (!wait(m_setDataTimeout)) {
            qDebug() << "void PromotionXmlParserPrivate::setData(const QByteArray&)"
                     << " - Thread failed to quit in 5 sec.";
            quit();
            return;
        }
    }
    {
        QMutexLocker locker(&m_mutex);
        m_abort = false;
    }
    m_data = data;
}

void PromotionXmlParserPrivate::parseUseQXmlStreamReader(
        const PromotionXmlQueryList &queries,
        const QVector<QXmlStreamNamespaceDeclaration> &namespaces, const QStringList &columns,
        bool lowPriority, int limit)
{
    if (isRunning()) {
        // Still busy with an earlier request (its setData() timed out): the running pass owns
        // the queries, columns, limit, tables and reader, so this request is refused and gets
        // no parseReady(). Without a pending request the thread is only winding down after
        // parseReady() and is done in a moment.
        if (isRequestPending() || !wait(m_setDataTimeout))
            return;
    }

    m_resultsMap.clear();
    m_queryValues.clear();
    m_error = false;
    if (m_data.isEmpty())
        return;

    // The request's fields are written before the thread starts, so a call of the slot that a
    // timed-out setData() left queued finds them complete.
    m_limit = limit;
    m_queries = queries;
    m_namespaces = namespaces;
    m_columns = columns;
    {
        QMutexLocker locker(&m_mutex);
        m_requestPending = true;
    }
    start(lowPriority ? QThread::IdlePriority : QThread::NormalPriority);
    QTimer::singleShot(0, this, &PromotionXmlParserPrivate::startParsingUseQXmlStreamReader);
}

QMap<int, QStringList> PromotionXmlParserPrivate::getResultsMap()
{
    // A pass still running owns the map.
    if (isRequestPending())
        return {};
    return std::exchange(m_resultsMap, {});
}

bool PromotionXmlParserPrivate::hasError() const
{
    return !isRequestPending() && m_error;
}

void PromotionXmlParserPrivate::setWaitTimeouts(int setDataMs, int destructionMs)
{
    m_setDataTimeout = setDataMs;
    m_destructionTimeout = destructionMs;
}

void PromotionXmlParserPrivate::run()
{
    exec();
}

void PromotionXmlParserPrivate::startParsingUseQXmlStreamReader()
{
    // A call left queued by an earlier, abandoned request has nothing to do.
    if (!isRequestPending())
        return;

    // The values read before a break stay in the map; the caller decides by the error.
    if (XmlStructureCheck::isWithinLimits(m_data, m_abortCheck)) {
        // The single read goes on to the document's end even when every query is done.
        runQueries();
        m_error = m_reader.tokenType() != QXmlStreamReader::EndDocument;
    } else {
        m_error = true;
    }

    const bool aborted = isAborted();
    if (aborted)
        m_resultsMap.clear();
    {
        QMutexLocker locker(&m_mutex);
        m_requestPending = false;
    }
    if (!aborted)
        emit parseReady();
    quit();
}

QStringList PromotionXmlParserPrivate::parseEntryUseQXmlStreamReader(int index)
{
    for (int i = 0; i < index; ++i) {
        if (m_signatures.at(i) == m_signatures.at(index))
            return m_queryValues.value(m_queries.at(i).first);
    }
    return std::move(m_batchValues[index]);
}

// The model asks the same few query sets again and again, so their compiled form is kept.
void PromotionXmlParserPrivate::compileQueries()
{
    m_signatures.clear();
    m_readingPaths.clear();
    m_readingQueries.clear();
    for (const QPair<QString, PromotionXmlPath> &query : std::as_const(m_queries))
        m_signatures.append(XmlQueryPath::signature(query.second));
    // Only the first query of each path reads; parseEntryUseQXmlStreamReader() gives the others
    // its values.
    for (int i = 0; i < m_queries.size(); ++i) {
        if (m_signatures.indexOf(m_signatures.at(i)) == i) {
            m_readingPaths.append(XmlQueryPath::compile(m_queries.at(i).second));
            m_readingQueries.append(i);
        }
    }
    m_compiledQueries = m_queries;
}

void PromotionXmlParserPrivate::runBatchPass()
{
    m_reader.clear();
    // clear() also drops extra namespace declarations, so every request adds them again.
    m_reader.addExtraNamespaceDeclarations(m_namespaces);
    m_reader.addData(m_data);
    QList<QStringList> values =
            XmlQueryBatchPass(m_reader, m_readingPaths, m_limit, m_abortCheck).run();
    m_batchValues = QList<QStringList>(m_queries.size());
    for (qsizetype k = 0; k < m_readingQueries.size(); ++k)
        m_batchValues[m_readingQueries.at(k)] = std::move(values[k]);
}

void PromotionXmlParserPrivate::runQueries()
{
    if (m_queries != m_compiledQueries)
        compileQueries();
    runBatchPass();

    qsizetype referenceCount = 0;
    for (int i = 0; i < m_queries.size(); ++i) {
        if (isAborted())
            return;
        const QString &name = m_queries.at(i).first;
        QStringList values = parseEntryUseQXmlStreamReader(i);
        if (values.isEmpty())
            continue;
        if (m_queryValues.isEmpty())
            referenceCount = values.size();
        if (values.size() == referenceCount)
            m_queryValues.insert(name, std::move(values));
        else
            m_queryValues.insert(name, QStringList(referenceCount, QString()));
    }
    if (m_queryValues.isEmpty())
        return;

    for (const QPair<QString, PromotionXmlPath> &query : std::as_const(m_queries)) {
        if (!m_queryValues.contains(query.first))
            m_queryValues.insert(query.first, QStringList(referenceCount, QString()));
    }

    m_resultsMap = rowsByColumn(m_queryValues, m_columns);
}

QMap<int, QStringList>
PromotionXmlParserPrivate::rowsByColumn(const QHash<QString, QStringList> &valuesByName,
                                        const QStringList &columns)
{
    QMap<int, QStringList> rows;
    const qsizetype count = columns.isEmpty() ? 0 : valuesByName.value(columns.constFirst()).size();
    for (qsizetype row = 0; row < count; ++row) {
        QStringList values;
        values.reserve(columns.size());
        for (const QString &column : columns) {
            const auto entry = valuesByName.constFind(column);
            if (entry != valuesByName.constEnd())
                values.append(entry->value(row));
        }
        rows.insert(int(row), values);
    }
    return rows;
}

bool PromotionXmlParserPrivate::isAborted() const
{
    QMutexLocker locker(&m_mutex);
    return m_abort;
}

bool PromotionXmlParserPrivate::isRequestPending() const
{
    QMutexLocker locker(&m_mutex);
    return m_requestPending;
}
