#pragma once

#include <QString>
#include <QXmlStreamReader>

#include <functional>

#include "promotionxmlparser.h"

// Tokens between two looks at the abort flag inside a pass: often enough that setData() waits
// only a moment even for tags of the longest length allowed, rarely enough that the mutex costs
// nothing.
inline constexpr int XmlQueryAbortCheckInterval = 32;

// Reads the next token. A document type declaration ends the read as an error: store answers
// never carry one, and its entities would be expanded by the tokens after it.
QXmlStreamReader::TokenType readNextXmlToken(QXmlStreamReader &reader);
// Reads the rest of the document, so that the reader's error tells whether it is whole and
// well-formed; isAborted can stop it.
void readXmlToEnd(QXmlStreamReader &reader, const std::function<bool()> &isAborted);

// A path step that names an element: the record element and the two levels below it.
struct XmlQueryElement
{
    bool present = false;
    QString name;
    QString namespaceUri;
};

// A query path compiled into what a pass over the document looks for.
struct XmlQueryPath
{
    enum class Target { None, Text, Attribute };

    static XmlQueryPath compile(const PromotionXmlPath &path);
    // Two queries with equal signatures yield equal values, so only the first one reads.
    static QString signature(const PromotionXmlPath &path);

    bool recordAttributeMode() const
    {
        return target == Target::Attribute && !secondLevel.present && selectorValue.isEmpty();
    }

    // One start tag of the scan for an attribute target in an open record: notes the second- and
    // third-level elements, and when the tag carries the value, sets it and returns true.
    bool scanStartTag(const QXmlStreamReader &reader, bool &secondLevelSeen, bool &thirdLevelSeen,
                      QString &value) const;

    Target target = Target::None;
    QString targetName;
    QString targetNamespace;
    XmlQueryElement record;
    XmlQueryElement secondLevel;
    XmlQueryElement thirdLevel;
    QString linkName;
    QString selectorName;
    QString selectorValue;
};
