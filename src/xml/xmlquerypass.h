#pragma once

#include <QStringList>
#include <QXmlStreamReader>

#include <functional>

#include "xmlquerypath.h"

// One query's pass over the whole document, reading the tokens itself. This is the plain form of
// the extraction; XmlQueryBatchPass must give the same values for any document, reading once
// for all queries.
class XmlQueryPass
{
public:
    // The reader is positioned at the document's start. isAborted is asked now and then.
    XmlQueryPass(QXmlStreamReader &reader, const XmlQueryPath &path, int limit,
                 const std::function<bool()> &isAborted);

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
    const std::function<bool()> &m_isAborted;
    QStringList m_values;
    bool m_recordOpen = false;
    bool m_secondLevelSeen = false;
    bool m_thirdLevelSeen = false;
    // Between a record's start tag and its end tag; depth is not tracked.
    bool m_insideRecord = false;
    int m_tokensToAbortCheck;
};
