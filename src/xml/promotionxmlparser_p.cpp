#include "promotionxmlparser_p.h"

#include <QDebug>
#include <QMutexLocker>
#include <QTimer>

#include <utility>

namespace {

const QLatin1String ChildMarker("child#");
const QLatin1String AttributeMarker("attr#");
const QLatin1String LinkMarker("link#");
const QLatin1String SelectorMarker("aidAttr#");

// Store answers never carry a document type declaration, and DTD processing is where the
// stream reader has known endless loops; such a document is malformed for us.
const QByteArray DoctypeMarker("<!DOCTYPE");

// Tokens between two looks at the abort flag inside one pass.
constexpr int AbortCheckInterval = 256;

struct ElementStep
{
    bool present = false;
    QString name;
    QString namespaceUri;
};

struct CompiledPath
{
    enum class Target { None, Text, Attribute };

    Target target = Target::None;
    QString targetName;
    QString targetNamespace;
    ElementStep record;
    ElementStep secondLevel;
    ElementStep thirdLevel;
    QString linkName;
    QString selectorName;
    QString selectorValue;

    bool recordAttributeMode() const
    {
        return target == Target::Attribute && !secondLevel.present && selectorValue.isEmpty();
    }
};

QString withoutMarker(const QString &text, QLatin1String marker)
{
    return QString(text).remove(marker);
}

CompiledPath compilePath(const PromotionXmlPath &path)
{
    CompiledPath compiled;
    if (path.isEmpty())
        return compiled;

    const QPair<QString, QString> &last = path.constLast();
    if (last.second.contains(ChildMarker)) {
        compiled.target = CompiledPath::Target::Text;
        compiled.targetName = withoutMarker(last.second, ChildMarker);
    } else if (last.second.contains(AttributeMarker)) {
        compiled.target = CompiledPath::Target::Attribute;
        compiled.targetName = withoutMarker(last.second, AttributeMarker);
        compiled.targetNamespace = last.first;
    }

    for (qsizetype i = 0; i + 1 < path.size(); ++i) {
        const QString &namespaceUri = path.at(i).first;
        const QString &text = path.at(i).second;
        if (text.contains(ChildMarker)) {
            ElementStep *slot = !compiled.record.present      ? &compiled.record
                                : !compiled.secondLevel.present ? &compiled.secondLevel
                                : !compiled.thirdLevel.present  ? &compiled.thirdLevel
                                                                : nullptr;
            if (slot)
                *slot = {true, withoutMarker(text, ChildMarker), namespaceUri};
        } else if (text.contains(LinkMarker)) {
            compiled.linkName = withoutMarker(text, LinkMarker);
        } else if (text.contains(SelectorMarker)) {
            const QStringList parts = withoutMarker(text, SelectorMarker).split(QLatin1Char('='));
            compiled.selectorName = parts.constFirst();
            compiled.selectorValue = parts.constLast();
        }
    }
    return compiled;
}

QString pathSignature(const PromotionXmlPath &path)
{
    QString signature;
    for (const QPair<QString, QString> &step : path)
        signature += step.first + step.second;
    return signature;
}

// One query's pass over the whole document.
class QueryPass
{
public:
    QueryPass(QXmlStreamReader &reader, const CompiledPath &path, int limit, QMutex &mutex,
              const bool &abort)
        : m_reader(reader)
        , m_path(path)
        , m_limit(limit)
        , m_mutex(mutex)
        , m_abort(abort)
    {
    }

    QStringList run();

private:
    // What the main loop does after a step: read on, look at the current token again (a
    // record start that ended a scan), or end the pass.
    enum class Next { ReadOn, Reprocess, End };

    bool advance();
    bool matches(const ElementStep &step) const;
    bool isRecordStart() const;
    bool limitReached() const;
    void closeRecord();
    Next skipToRecordEnd(bool advanceFirst);
    Next takeText();
    Next takeEmpty();
    Next scanForAttribute();

    QXmlStreamReader &m_reader;
    const CompiledPath &m_path;
    const int m_limit;
    QMutex &m_mutex;
    const bool &m_abort;
    QStringList m_values;
    bool m_recordOpen = false;
    bool m_secondLevelSeen = false;
    bool m_thirdLevelSeen = false;
    // Between a record's start tag and its end tag; depth is not tracked.
    bool m_insideRecord = false;
    int m_tokensToAbortCheck = AbortCheckInterval;
};

QStringList QueryPass::run()
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
        case CompiledPath::Target::Text:
            next = takeText();
            break;
        case CompiledPath::Target::None:
            next = takeEmpty();
            break;
        case CompiledPath::Target::Attribute:
            next = scanForAttribute();
            break;
        }
    }
    return std::move(m_values);
}

bool QueryPass::advance()
{
    if (m_reader.atEnd())
        return false;
    if (m_reader.readNext() == QXmlStreamReader::EndElement && matches(m_path.record))
        m_insideRecord = false;
    if (m_reader.hasError())
        return false;
    if (--m_tokensToAbortCheck == 0) {
        m_tokensToAbortCheck = AbortCheckInterval;
        QMutexLocker locker(&m_mutex);
        if (m_abort)
            return false;
    }
    return true;
}

bool QueryPass::matches(const ElementStep &step) const
{
    return m_reader.name() == step.name && m_reader.namespaceUri() == step.namespaceUri;
}

bool QueryPass::isRecordStart() const
{
    return m_reader.isStartElement() && matches(m_path.record);
}

bool QueryPass::limitReached() const
{
    return m_limit > 0 && m_values.size() >= m_limit;
}

void QueryPass::closeRecord()
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
QueryPass::Next QueryPass::skipToRecordEnd(bool advanceFirst)
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

QueryPass::Next QueryPass::takeText()
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

QueryPass::Next QueryPass::takeEmpty()
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

QueryPass::Next QueryPass::scanForAttribute()
{
    const bool startedOutside = !m_insideRecord;
    for (;;) {
        if (m_reader.name() == m_path.record.name)
            return startedOutside && isRecordStart() ? Next::Reprocess : Next::ReadOn;

        if (m_reader.isStartElement()) {
            if (!m_secondLevelSeen && m_path.secondLevel.present && matches(m_path.secondLevel)) {
                m_secondLevelSeen = true;
            } else if (m_secondLevelSeen && !m_thirdLevelSeen && m_path.thirdLevel.present
                       && matches(m_path.thirdLevel)) {
                m_thirdLevelSeen = true;
            }

            bool accepted = false;
            QString value;
            if (m_path.thirdLevel.present) {
                if (m_thirdLevelSeen && matches(m_path.thirdLevel)) {
                    accepted = true;
                    value = m_reader.attributes().value(m_path.targetName).toString();
                }
            } else if (m_reader.name() == m_path.linkName
                       && (!m_path.secondLevel.present || m_secondLevelSeen)) {
                const QXmlStreamAttributes attributes = m_reader.attributes();
                if (attributes.value(m_path.selectorName) == m_path.selectorValue) {
                    accepted = true;
                    value = attributes.value(m_path.targetName).toString();
                }
            }

            if (accepted) {
                m_values.append(value);
                if (limitReached())
                    return Next::End;
                closeRecord();
                return skipToRecordEnd(false);
            }
        }

        if (!advance())
            return Next::End;
    }
}

} // namespace

PromotionXmlParserPrivate::PromotionXmlParserPrivate()
    : QThread(nullptr)
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
    const PromotionXmlQueryList &queries, const QVector<QXmlStreamNamespaceDeclaration> &namespaces,
    const QStringList &columns, bool lowPriority, int limit)
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

    if (!m_data.contains(DoctypeMarker))
        runQueries();

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

QStringList PromotionXmlParserPrivate::parseEntryUseQXmlStreamReader(const PromotionXmlPath &path,
                                                                     int index)
{
    const QString signature = pathSignature(path);
    for (int i = 0; i < index; ++i) {
        if (pathSignature(m_queries.at(i).second) == signature)
            return m_queryValues.value(m_queries.at(i).first);
    }

    const CompiledPath compiled = compilePath(path);
    m_reader.clear();
    // clear() also drops extra namespace declarations, so every pass adds them again.
    m_reader.addExtraNamespaceDeclarations(m_namespaces);
    m_reader.addData(m_data);
    return QueryPass(m_reader, compiled, m_limit, m_mutex, m_abort).run();
}

void PromotionXmlParserPrivate::runQueries()
{
    qsizetype referenceCount = 0;
    for (int i = 0; i < m_queries.size(); ++i) {
        if (isAborted())
            return;
        const QString &name = m_queries.at(i).first;
        QStringList values = parseEntryUseQXmlStreamReader(m_queries.at(i).second, i);
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

    const qsizetype rows = m_columns.isEmpty() ? 0 : m_queryValues.value(m_columns.constFirst()).size();
    for (qsizetype row = 0; row < rows; ++row) {
        QStringList values;
        values.reserve(m_columns.size());
        for (const QString &column : std::as_const(m_columns)) {
            const auto entry = m_queryValues.constFind(column);
            if (entry != m_queryValues.constEnd())
                values.append(entry->at(row));
        }
        m_resultsMap.insert(int(row), values);
    }
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
