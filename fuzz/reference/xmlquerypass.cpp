#include "xmlquerypass.h"

#include <utility>

XmlQueryPass::Reading
XmlQueryPass::readEach(const QByteArray &document,
                       const QVector<QXmlStreamNamespaceDeclaration> &namespaces,
                       const PromotionXmlQueryList &queries, int limit)
{
    QXmlStreamReader reader;
    const auto restart = [&] {
        reader.clear();
        reader.addExtraNamespaceDeclarations(namespaces);
        reader.addData(document);
    };
    Reading reading;
    QStringList signatures;
    for (const auto &query : queries) {
        const QString signature = XmlQueryPath::signature(query.second);
        const qsizetype earlier = signatures.indexOf(signature);
        signatures.append(signature);
        if (earlier >= 0) {
            reading.values.append(reading.values.at(earlier));
            continue;
        }
        const XmlQueryPath path = XmlQueryPath::compile(query.second);
        restart();
        reading.values.append(XmlQueryPass(reader, path, limit).run());
    }
    restart();
    readXmlToEnd(reader, [] { return false; });
    reading.whole = reader.tokenType() == QXmlStreamReader::EndDocument;
    return reading;
}

XmlQueryPass::XmlQueryPass(QXmlStreamReader &reader, const XmlQueryPath &path, int limit)
    : m_reader(reader),
      m_path(path),
      m_limit(limit)
{ }

QStringList XmlQueryPass::run()
{
    if (!m_path.record.present)
        return m_values;

    Next next = Next::ReadOn;
    while (next != Next::End) {
        if (next == Next::ReadOn && !advance())
            break;
        next = Next::ReadOn;
        if (!m_reader.isStartElement())
            continue;

        if (isRecordStart()) {
            m_insideRecord = true;
            if (m_recordOpen) {
                // The previous record produced no value: keep the rows aligned.
                m_values.append(QString());
                if (limitReached())
                    break;
                m_secondLevelSeen = false;
            }
            if (m_path.recordAttributeMode()) {
                m_values.append(m_reader.attributes()
                                        .value(m_path.targetNamespace, m_path.targetName)
                                        .toString());
                next = skipToRecordEnd(true);
                continue;
            }
            m_recordOpen = true;
        }
        if (!m_recordOpen)
            continue;

        if (m_path.secondLevel.present && matches(m_path.secondLevel))
            m_secondLevelSeen = true;
        switch (m_path.target) {
        case XmlQueryPath::Target::Text:
            next = takeText();
            break;
        case XmlQueryPath::Target::None:
            next = takeEmpty();
            break;
        case XmlQueryPath::Target::Attribute:
            next = scanForAttribute();
            break;
        }
    }
    // The last record gets its placeholder at the document's end, as the others do at the next
    // record's start.
    if (m_recordOpen && m_reader.tokenType() == QXmlStreamReader::EndDocument)
        m_values.append(QString());
    return std::move(m_values);
}

bool XmlQueryPass::advance()
{
    if (m_reader.atEnd())
        return false;
    if (readNextXmlToken(m_reader) == QXmlStreamReader::EndElement && matches(m_path.record))
        m_insideRecord = false;
    return !m_reader.hasError();
}

bool XmlQueryPass::matches(const XmlQueryElement &step) const
{
    return m_reader.name() == step.name && m_reader.namespaceUri() == step.namespaceUri;
}

bool XmlQueryPass::isRecordStart() const
{
    return m_reader.isStartElement() && matches(m_path.record);
}

bool XmlQueryPass::limitReached() const
{
    return m_limit > 0 && m_values.size() >= m_limit;
}

void XmlQueryPass::closeRecord()
{
    m_recordOpen = false;
    m_secondLevelSeen = false;
    m_thirdLevelSeen = false;
}

// Stops at the next token named like the record element (by local name only). Begun inside
// the record, that is its end tag or a nested start tag, which is passed over. Begun after the
// record's end (an open record takes a value from a later tag), it is the next record's start
// tag, which the main loop must still see, or that record would lose its placeholder and every
// later value would land one row too high.
XmlQueryPass::Next XmlQueryPass::skipToRecordEnd(bool advanceFirst)
{
    const bool startedOutside = !m_insideRecord;
    if (advanceFirst && !advance())
        return Next::End;
    while (m_reader.name() != m_path.record.name) {
        if (!advance())
            return Next::End;
    }
    return startedOutside && isRecordStart() ? Next::Reprocess : Next::ReadOn;
}

XmlQueryPass::Next XmlQueryPass::takeText()
{
    if (m_reader.name() != m_path.targetName || (m_path.secondLevel.present && !m_secondLevelSeen))
        return Next::ReadOn;

    const QString text = m_reader.readElementText();
    // A cut-off document would leave a cut-off value; text before an unexpected child
    // element is complete and is kept.
    if (m_reader.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        return Next::End;
    m_values.append(text);
    if (limitReached() || m_reader.hasError())
        return Next::End;
    closeRecord();
    return skipToRecordEnd(false);
}

XmlQueryPass::Next XmlQueryPass::takeEmpty()
{
    // With a second-level element a path without target only gets placeholders.
    if (m_path.secondLevel.present)
        return Next::ReadOn;
    m_values.append(QString());
    if (limitReached())
        return Next::End;
    closeRecord();
    return Next::ReadOn;
}

XmlQueryPass::Next XmlQueryPass::scanForAttribute()
{
    const bool startedOutside = !m_insideRecord;
    for (;;) {
        if (m_reader.name() == m_path.record.name)
            return startedOutside && isRecordStart() ? Next::Reprocess : Next::ReadOn;

        QString value;
        if (m_reader.isStartElement()
            && m_path.scanStartTag(m_reader, m_secondLevelSeen, m_thirdLevelSeen, value)) {
            m_values.append(value);
            if (limitReached())
                return Next::End;
            closeRecord();
            return skipToRecordEnd(false);
        }

        if (!advance())
            return Next::End;
    }
}
