#include "xmlquerybatchpass.h"

#include <utility>
#include <vector>

namespace {

// What every query looks at in a token; taken from the reader once per token.
struct Token
{
    QXmlStreamReader::TokenType type;
    QStringView name;
    QStringView namespaceUri;
};

// One query's extraction. Each state says what the next token means for the query: the main
// scan for records and targets, the skip to the end of a record that has its value, the text of a
// text target, and the scan of an open record's start tags for an attribute target.
class QueryMachine
{
public:
    QueryMachine(const QXmlStreamReader &reader, const XmlQueryPath &path, int limit)
        : m_reader(reader),
          m_path(path),
          m_limit(limit),
          m_state(path.record.present ? State::Main : State::Done)
    { }

    bool isDone() const { return m_state == State::Done; }
    QStringList takeValues() { return std::move(m_values); }

    // The reader stands on a new token, read without error.
    void feed(const Token &token)
    {
        m_token = &token;
        if (m_state == State::CollectText) {
            collectText();
            return;
        }
        if (token.type == QXmlStreamReader::EndDocument) {
            // The last record's placeholder comes at the document's end, as the others' come at
            // the next record's start.
            if (m_recordOpen)
                append(QString());
            m_state = State::Done;
            return;
        }
        // Tokens inside a text target belong to the text (above); any other end tag named like
        // the record ends it.
        if (token.type == QXmlStreamReader::EndElement && matches(m_path.record))
            m_insideRecord = false;
        switch (m_state) {
        case State::Main:
            processMain();
            break;
        case State::SkipToRecordEnd:
            checkSkipEnd();
            break;
        case State::ScanAttribute:
            scanAttribute();
            break;
        case State::CollectText:
        case State::Done:
            break;
        }
    }

    // The reader reported an error: the pass ends with what it has. A cut-off document would
    // leave a cut-off value; text before an unexpected child element is complete and is kept.
    void endWithError()
    {
        if (m_state == State::CollectText
            && m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            m_values.append(m_text);
        m_state = State::Done;
    }

private:
    enum class State { Main, SkipToRecordEnd, CollectText, ScanAttribute, Done };

    bool matches(const XmlQueryElement &step) const
    {
        return m_token->name == step.name && m_token->namespaceUri == step.namespaceUri;
    }

    bool isStartElement() const { return m_token->type == QXmlStreamReader::StartElement; }
    bool isRecordStart() const { return isStartElement() && matches(m_path.record); }

    // Appends a value; false when that reaches the limit and the query is done.
    bool append(const QString &value)
    {
        m_values.append(value);
        if (m_limit > 0 && m_values.size() >= m_limit) {
            m_state = State::Done;
            return false;
        }
        return true;
    }

    void closeRecord()
    {
        m_recordOpen = false;
        m_secondLevelSeen = false;
        m_thirdLevelSeen = false;
    }

    void processMain()
    {
        if (!isStartElement())
            return;

        if (isRecordStart()) {
            m_insideRecord = true;
            if (m_recordOpen) {
                if (!append(QString()))
                    return;
                m_secondLevelSeen = false;
            }
            if (m_path.recordAttributeMode()) {
                m_values.append(m_reader.attributes()
                                        .value(m_path.targetNamespace, m_path.targetName)
                                        .toString());
                m_skipStartedOutside = false;
                m_state = State::SkipToRecordEnd;
                return;
            }
            m_recordOpen = true;
        }
        if (!m_recordOpen)
            return;

        if (m_path.secondLevel.present && matches(m_path.secondLevel))
            m_secondLevelSeen = true;
        switch (m_path.target) {
        case XmlQueryPath::Target::Text:
            if (m_token->name != m_path.targetName
                || (m_path.secondLevel.present && !m_secondLevelSeen))
                return;
            m_text.clear();
            m_state = State::CollectText;
            return;
        case XmlQueryPath::Target::None:
            if (m_path.secondLevel.present || !append(QString()))
                return;
            closeRecord();
            return;
        case XmlQueryPath::Target::Attribute:
            m_scanStartedOutside = !m_insideRecord;
            m_state = State::ScanAttribute;
            scanAttribute();
            return;
        }
    }

    // Gathers the text as QXmlStreamReader::readElementText() does.
    void collectText()
    {
        switch (m_token->type) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            // Most texts come in one token: copy it at its size instead of growing a string.
            if (m_text.isEmpty())
                m_text = m_reader.text().toString();
            else
                m_text += m_reader.text();
            return;
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::Comment:
            return;
        case QXmlStreamReader::EndElement:
            if (!append(m_text))
                return;
            closeRecord();
            beginSkip();
            return;
        default:
            // readElementText() ends with an error at a child element: the text before it is
            // the value, and the query is done.
            m_values.append(m_text);
            m_state = State::Done;
            return;
        }
    }

    // Skips to the record's end, looking at the current token first.
    void beginSkip()
    {
        m_skipStartedOutside = !m_insideRecord;
        m_state = State::SkipToRecordEnd;
        checkSkipEnd();
    }

    void checkSkipEnd()
    {
        if (m_token->name != m_path.record.name)
            return;
        m_state = State::Main;
        if (m_skipStartedOutside && isRecordStart())
            processMain();
    }

    void scanAttribute()
    {
        if (m_token->name == m_path.record.name) {
            m_state = State::Main;
            if (m_scanStartedOutside && isRecordStart())
                processMain();
            return;
        }
        if (!isStartElement())
            return;

        QString value;
        if (!m_path.scanStartTag(m_reader, m_secondLevelSeen, m_thirdLevelSeen, value)
            || !append(value))
            return;
        closeRecord();
        beginSkip();
    }

    const QXmlStreamReader &m_reader;
    const XmlQueryPath &m_path;
    const int m_limit;
    State m_state;
    const Token *m_token = nullptr;
    QStringList m_values;
    QString m_text;
    bool m_recordOpen = false;
    bool m_secondLevelSeen = false;
    bool m_thirdLevelSeen = false;
    bool m_insideRecord = false;
    bool m_skipStartedOutside = false;
    bool m_scanStartedOutside = false;
};

} // namespace

XmlQueryBatchPass::XmlQueryBatchPass(QXmlStreamReader &reader, const QList<XmlQueryPath> &paths,
                                     int limit, const std::function<bool()> &isAborted)
    : m_reader(reader),
      m_paths(paths),
      m_limit(limit),
      m_isAborted(isAborted)
{ }

QList<QStringList> XmlQueryBatchPass::run()
{
    std::vector<QueryMachine> machines;
    machines.reserve(size_t(m_paths.size()));
    qsizetype active = 0;
    for (const XmlQueryPath &path : m_paths) {
        machines.emplace_back(m_reader, path, m_limit);
        if (!machines.back().isDone())
            ++active;
    }

    int tokensToAbortCheck = XmlQueryAbortCheckInterval;
    bool aborted = false;
    while (active > 0 && !m_reader.atEnd()) {
        const QXmlStreamReader::TokenType type = readNextXmlToken(m_reader);
        if (m_reader.hasError()) {
            for (QueryMachine &machine : machines)
                machine.endWithError();
            break;
        }
        if (--tokensToAbortCheck == 0) {
            tokensToAbortCheck = XmlQueryAbortCheckInterval;
            if (m_isAborted()) {
                aborted = true;
                break;
            }
        }
        const Token token { type, m_reader.name(), m_reader.namespaceUri() };
        for (QueryMachine &machine : machines) {
            if (machine.isDone())
                continue;
            machine.feed(token);
            if (machine.isDone())
                --active;
        }
    }

    if (!aborted)
        readXmlToEnd(m_reader, m_isAborted);

    QList<QStringList> values;
    values.reserve(m_paths.size());
    for (QueryMachine &machine : machines)
        values.append(machine.takeValues());
    return values;
}
