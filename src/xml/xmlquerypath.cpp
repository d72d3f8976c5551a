#include "xmlquerypath.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace {

constexpr char ChildMarker[] = "child#";
constexpr char AttributeMarker[] = "attr#";
constexpr char LinkMarker[] = "link#";
constexpr char SelectorMarker[] = "aidAttr#";

bool matches(const QXmlStreamReader &reader, const XmlQueryElement &element)
{
    return reader.name() == element.name && reader.namespaceUri() == element.namespaceUri;
}

bool hasMarker(const QString &text, const char *marker)
{
    return text.contains(QLatin1String(marker));
}

QString withoutMarker(const QString &text, const char *marker)
{
    return QString(text).remove(QLatin1String(marker));
}

} // namespace

QXmlStreamReader::TokenType readNextXmlToken(QXmlStreamReader &reader)
{
    if (reader.readNext() == QXmlStreamReader::DTD)
        reader.raiseError(QStringLiteral("Document type declarations are not accepted."));
    return reader.tokenType();
}

void readXmlToEnd(QXmlStreamReader &reader, const std::function<bool()> &isAborted)
{
    int tokensToAbortCheck = XmlQueryAbortCheckInterval;
    while (!reader.atEnd()) {
        readNextXmlToken(reader);
        if (--tokensToAbortCheck == 0) {
            tokensToAbortCheck = XmlQueryAbortCheckInterval;
            if (isAborted())
                return;
        }
    }
}

XmlQueryPath XmlQueryPath::compile(const PromotionXmlPath &path)
{
    XmlQueryPath compiled;
    if (path.isEmpty())
        return compiled;

    const QPair<QString, QString> &last = path.constLast();
    if (hasMarker(last.second, ChildMarker)) {
        compiled.target = Target::Text;
        compiled.targetName = withoutMarker(last.second, ChildMarker);
    } else if (hasMarker(last.second, AttributeMarker)) {
        compiled.target = Target::Attribute;
        compiled.targetName = withoutMarker(last.second, AttributeMarker);
        compiled.targetNamespace = last.first;
    }

    for (qsizetype i = 0; i + 1 < path.size(); ++i) {
        const QString &namespaceUri = path.at(i).first;
        const QString &text = path.at(i).second;
        if (hasMarker(text, ChildMarker)) {
            XmlQueryElement *slot = !compiled.record.present ? &compiled.record
                    : !compiled.secondLevel.present          ? &compiled.secondLevel
                    : !compiled.thirdLevel.present           ? &compiled.thirdLevel
                                                             : nullptr;
            if (slot)
                *slot = { true, withoutMarker(text, ChildMarker), namespaceUri };
        } else if (hasMarker(text, LinkMarker)) {
            compiled.linkName = withoutMarker(text, LinkMarker);
        } else if (hasMarker(text, SelectorMarker)) {
            const QStringList parts = withoutMarker(text, SelectorMarker).split(QLatin1Char('='));
            compiled.selectorName = parts.constFirst();
            compiled.selectorValue = parts.constLast();
        }
    }
    return compiled;
}

QString XmlQueryPath::signature(const PromotionXmlPath &path)
{
    QString signature;
    for (const QPair<QString, QString> &step : path)
        signature += step.first + step.second;
    return signature;
}

bool XmlQueryPath::scanStartTag(const QXmlStreamReader &reader, bool &secondLevelSeen,
                                bool &thirdLevelSeen, QString &value) const
{
    if (!secondLevelSeen && secondLevel.present && matches(reader, secondLevel)) {
        secondLevelSeen = true;
    } else if (secondLevelSeen && !thirdLevelSeen && thirdLevel.present
               && matches(reader, thirdLevel)) {
        thirdLevelSeen = true;
    }

    if (thirdLevel.present) {
        if (!thirdLevelSeen || !matches(reader, thirdLevel))
            return false;
        value = reader.attributes().value(targetName).toString();
        return true;
    }
    if (reader.name() != linkName || (secondLevel.present && !secondLevelSeen))
        return false;
    const QXmlStreamAttributes attributes = reader.attributes();
    if (attributes.value(selectorName) != selectorValue)
        return false;
    value = attributes.value(targetName).toString();
    return true;
}
