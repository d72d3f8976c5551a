#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include "promotionxmlparser.h"
#include "storeconstants.h"
#include "storequeries.h"

// Paths are written as space-separated "prefix:step" words, the prefix being one of atom, app,
// store or nothing (no namespace), e.g. "atom:child#entry store:child#metadata atom:child#id".
namespace XmlTestSupport {

inline PromotionXmlPath path(const QString &text)
{
    PromotionXmlPath steps;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const qsizetype colon = word.indexOf(QLatin1Char(':'));
        const QString prefix = word.left(colon);
        QString namespaceUri;
        if (prefix == QLatin1String("atom"))
            namespaceUri = QLatin1String(StoreConstants::AtomNamespace);
        else if (prefix == QLatin1String("app"))
            namespaceUri = QLatin1String(StoreConstants::AtomPubNamespace);
        else if (prefix == QLatin1String("store"))
            namespaceUri = QLatin1String(StoreConstants::SchemaNamespace);
        steps.append({ namespaceUri, word.mid(colon + 1) });
    }
    return steps;
}

// Runs a query set as the model does.
template<typename Parser>
void request(Parser &parser, const StoreQueries::QuerySet &set, bool lowPriority = false)
{
    parser.parseUseQXmlStreamReader(set.queries, set.namespaces, set.columns, lowPriority,
                                    set.limit);
}

// The test feeds declare the store schema under the prefix "s".
inline QByteArray feed(const QByteArray &body)
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"")
            + StoreConstants::AtomNamespace + "\" xmlns:s=\"" + StoreConstants::SchemaNamespace
            + "\">\n" + body + "</feed>\n";
}

// A similar-items entry: title n, the picture link, store id n.
inline QByteArray entry(int n)
{
    const QByteArray number = QByteArray::number(n);
    return "<entry><id>urn:entry:" + number + "</id><title>title " + number
            + "</title><link rel=\"related\" title=\"artistImage100\" href=\"href " + number
            + "\"/><s:metadata><s:id>id " + number + "</s:id></s:metadata></entry>\n";
}

inline QByteArray feedOfEntries(int count)
{
    QByteArray body;
    for (int n = 1; n <= count; ++n)
        body += entry(n);
    return feed(body);
}

// Documents whose structure is out of all proportion to a store answer, each around one entry.
inline QByteArray attributeBomb(int attributes)
{
    QByteArray tag = "<entry";
    tag.reserve(attributes * 12);
    for (int i = 0; i < attributes; ++i)
        tag += " a" + QByteArray::number(i) + "=\"\"";
    return feed(tag + "><title>t1</title></entry>");
}

// The reader checks each attribute declared for an element against all declared before, and
// reads the whole declaration before the passes see its token.
inline QByteArray attributeListBomb(int attributes)
{
    QByteArray declaration = "<!DOCTYPE feed [<!ATTLIST feed";
    for (int i = 0; i < attributes; ++i)
        declaration += " a" + QByteArray::number(i) + " CDATA #IMPLIED";
    const QByteArray document = feed(entry(1));
    return declaration + ">]>" + document.mid(document.indexOf("<feed"));
}

// One line per row: `<index>: "value" "value" ...`.
inline QStringList formatMap(const QMap<int, QStringList> &map)
{
    QStringList lines;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QString line = QString::number(it.key()) + QLatin1Char(':');
        for (const QString &value : it.value())
            line += QLatin1String(" \"") + value + QLatin1Char('"');
        lines.append(line);
    }
    return lines;
}

} // namespace XmlTestSupport

Q_DECLARE_METATYPE(StoreQueries::QuerySet)
