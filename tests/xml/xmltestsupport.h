#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QXmlStreamNamespaceDeclaration>

#include "promotionxmlparser.h"
#include "storeconstants.h"

// Paths are written as space-separated "prefix:step" words, the prefix being one of atom, app,
// store or nothing (no namespace), e.g. "atom:child#entry store:child#metadata atom:child#id".
namespace XmlTestSupport {

inline const QString TitlePath = QStringLiteral("atom:child#entry atom:child#title");
inline const QString IdPath = QStringLiteral("atom:child#entry store:child#metadata atom:child#id");
inline const QString ImagePath =
    QStringLiteral("atom:child#entry atom:link#link atom:aidAttr#title=artistImage100 atom:attr#href");
inline const QString NoTargetPath = QStringLiteral("atom:child#entry atom:");

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
        steps.append({namespaceUri, word.mid(colon + 1)});
    }
    return steps;
}

// Query name and path text.
using QueryTexts = QList<QPair<QString, QString>>;

inline PromotionXmlQueryList queries(const QueryTexts &texts)
{
    PromotionXmlQueryList list;
    for (const auto &query : texts)
        list.append({query.first, path(query.second)});
    return list;
}

// The similar-tracks request of the player view.
inline const QueryTexts PlayerQueries = {
    {"text1", TitlePath},
    {"text2", "atom:child#entry store:child#metadata atom:child#primaryartist"},
    {"text3", "atom:child#entry store:child#metadata atom:child#takenfrom"},
    {"duration", "atom:child#entry store:child#metadata atom:child#duration"},
    {"image", "atom:child#entry atom:link#link atom:aidAttr#title=albumart100 atom:attr#href"},
    {"METADATA1", IdPath},
    {"METADATA2", "atom:child#entry store:child#metadata atom:child#primaryartist"}};
inline const QStringList PlayerColumns = {"text1", "text2", "text3", "duration", "image", "METADATA1", "METADATA2"};

// What the plug-in hands over with every request: the schema prefix, which answers may use
// without declaring it.
inline QVector<QXmlStreamNamespaceDeclaration> storeNamespaces()
{
    return {QXmlStreamNamespaceDeclaration(QStringLiteral("s"),
                                           QLatin1String(StoreConstants::SchemaNamespace))};
}

inline QByteArray feed(const QByteArray &body)
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"")
        + StoreConstants::AtomNamespace + "\" xmlns:s=\"" + StoreConstants::SchemaNamespace + "\">\n"
        + body + "</feed>\n";
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

inline QByteArray deepNesting(int depth)
{
    return feed("<entry><title>t1</title>" + QByteArray("<x>").repeated(depth)
                + QByteArray("</x>").repeated(depth) + "</entry>");
}

inline QByteArray hugeTag(int bytes)
{
    return feed("<entry><title>t1</title><link href=\"" + QByteArray(bytes, 'h') + "\"/></entry>");
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
