#include "promotionxmlparser.h"

#include "promotionxmlparser_p.h"

PromotionXmlParser::PromotionXmlParser(QObject *parent)
    : QObject(parent),
      m_private(new PromotionXmlParserPrivate)
{
    connect(m_private, &PromotionXmlParserPrivate::parseReady, this,
            &PromotionXmlParser::parseReady);
}

PromotionXmlParser::~PromotionXmlParser()
{
    delete m_private;
}

void PromotionXmlParser::setData(const QByteArray &data)
{
    m_private->setData(data);
}

void PromotionXmlParser::parseUseQXmlStreamReader(
        const PromotionXmlQueryList &queries,
        const QVector<QXmlStreamNamespaceDeclaration> &namespaces, const QStringList &columns,
        bool lowPriority, int limit)
{
    m_private->parseUseQXmlStreamReader(queries, namespaces, columns, lowPriority, limit);
}

QMap<int, QStringList> PromotionXmlParser::getResultsMap()
{
    return m_private->getResultsMap();
}

bool PromotionXmlParser::hasError() const
{
    return m_private->hasError();
}
