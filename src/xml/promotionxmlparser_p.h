#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QXmlStreamReader>

#include <functional>

#include "promotionxmlparser.h"
#include "xmlquerypath.h"

// The worker behind PromotionXmlParser. The object belongs to the thread it represents, so the
// queued call of startParsingUseQXmlStreamReader() runs there; everything else runs on the
// caller's thread.
class PromotionXmlParserPrivate : public QThread
{
    Q_OBJECT

public:
    PromotionXmlParserPrivate();
    ~PromotionXmlParserPrivate() override;

    void setData(const QByteArray &data);
    void parseUseQXmlStreamReader(const PromotionXmlQueryList &queries,
                                  const QVector<QXmlStreamNamespaceDeclaration> &namespaces,
                                  const QStringList &columns, bool lowPriority, int limit);
    QMap<int, QStringList> getResultsMap();
    bool hasError() const;

    // A pass's rows from each query's values by name: as many rows as the first column has
    // values, each with the columns in order; a column that no query filled is left out.
    static QMap<int, QStringList> rowsByColumn(const QHash<QString, QStringList> &valuesByName,
                                               const QStringList &columns);

    // How long setData() and the destructor wait for a running worker (5000 and 2000 ms).
    void setWaitTimeouts(int setDataMs, int destructionMs);

signals:
    void parseReady();

public slots:
    void startParsingUseQXmlStreamReader();

protected:
    void run() override;

private:
    QStringList parseEntryUseQXmlStreamReader(int index);
    void runQueries();
    void compileQueries();
    void runBatchPass();
    bool isAborted() const;
    bool isRequestPending() const;

    QXmlStreamReader m_reader;
    QHash<QString, QStringList> m_queryValues;
    QMap<int, QStringList> m_resultsMap;
    QStringList m_columns;
    QByteArray m_data;
    int m_limit = 0;
    PromotionXmlQueryList m_queries;
    bool m_abort = false;
    mutable QMutex m_mutex;

    QVector<QXmlStreamNamespaceDeclaration> m_namespaces;
    // Set by a request before the worker starts, cleared by the worker once the pass has
    // finished with the request's fields; guarded by m_mutex like m_abort.
    bool m_requestPending = false;
    int m_setDataTimeout = 5000;
    int m_destructionTimeout = 2000;
    // The last request's document was refused, broken or cut short.
    bool m_error = false;
    const std::function<bool()> m_abortCheck;
    // Compiled from the queries of the last request, kept in m_compiledQueries while the next
    // requests bring the same ones: each query's path signature, and the paths of the queries
    // that read the document with their indexes.
    PromotionXmlQueryList m_compiledQueries;
    QStringList m_signatures;
    QList<XmlQueryPath> m_readingPaths;
    QList<int> m_readingQueries;
    // The values of the single read by query index.
    QList<QStringList> m_batchValues;
};
