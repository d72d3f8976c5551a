#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QXmlStreamReader>

#include "promotionxmlparser.h"
#include "xmlquerypath.h"

// One query's pass over the whole document, reading the tokens itself: the plain form of the
// extraction. The plug-in's XmlQueryBatchPass must give the same values for any document while
// reading once for all queries.
class XmlQueryPass
{
public:
    struct Reading
    {
        // One value list per query, in the order of the queries.
        QList<QStringList> values;
        // The document reads to its end without error.
        bool whole = false;
    };

    // Runs each query in a pass of its own; queries with equal paths read once.
    static Reading readEach(const QByteArray &document,
                            const QVector<QXmlStreamNamespaceDeclaration> &namespaces,
                            const PromotionXmlQueryList &queries, int limit);

    // The reader is positioned at the document's start.
    XmlQueryPass(QXmlStreamReader &reader, const XmlQueryPath &path, int limit);

    QStringList run();

private:
    // What the main loop does after a step: read on, look at the current token again (a
    // record start that ended a scan), or end the pass.
    enum class Next { ReadOn, Reprocess, End };

    bool advance();
    bool matches(const XmlQueryElement &step) const;
    bool isRecordStart() const;
    bool limitReached() const;
    void closeRecord();
    Next skipToRecordEnd(bool advanceFirst);
    Next takeText();
    Next takeEmpty();
    Next scanForAttribute();

    QXmlStreamReader &m_reader;
    const XmlQueryPath &m_path;
    const int m_limit;
    QStringList m_values;
    bool m_recordOpen = false;
    bool m_secondLevelSeen = false;
    bool m_thirdLevelSeen = false;
    // Between a record's start tag and its end tag; depth is not tracked.
    bool m_insideRecord = false;
};
