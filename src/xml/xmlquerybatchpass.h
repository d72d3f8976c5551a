#pragma once

#include <QList>
#include <QStringList>
#include <QXmlStreamReader>

#include <functional>

#include "xmlquerypath.h"

// Answers several queries in one read of the document. Each query is a state machine fed one
// token at a time, and gets the values that a read of the document for it alone would give. Once
// every query is done the rest is still read, so that the reader's error afterwards tells whether
// the document was whole and well-formed.
class XmlQueryBatchPass
{
public:
    // The reader is positioned at the document's start. isAborted is asked now and then.
    XmlQueryBatchPass(QXmlStreamReader &reader, const QList<XmlQueryPath> &paths, int limit,
                      const std::function<bool()> &isAborted);

    // One value list per path, in the order of the paths.
    QList<QStringList> run();

private:
    QXmlStreamReader &m_reader;
    const QList<XmlQueryPath> &m_paths;
    const int m_limit;
    const std::function<bool()> &m_isAborted;
};
