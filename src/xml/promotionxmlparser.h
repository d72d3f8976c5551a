#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamNamespaceDeclaration>

class PromotionXmlParserPrivate;

// One path step: namespace URI (empty for no namespace) and marker plus name, e.g. "child#entry".
using PromotionXmlPath = QList<QPair<QString, QString>>;
// Query name and its path; the names are the columns a caller can ask for.
using PromotionXmlQueryList = QList<QPair<QString, PromotionXmlPath>>;

// Runs path queries over a store answer on a worker thread, one request at a time.
// Call order per request: setData(), parseUseQXmlStreamReader(), wait for parseReady(),
// getResultsMap().
class PromotionXmlParser : public QObject
{
    Q_OBJECT

public:
    explicit PromotionXmlParser(QObject *parent = nullptr);
    ~PromotionXmlParser() override;

    void setData(const QByteArray &data);
    void parseUseQXmlStreamReader(const PromotionXmlQueryList &queries,
                                  const QVector<QXmlStreamNamespaceDeclaration> &namespaces,
                                  const QStringList &columns, bool lowPriority, int limit);
    QMap<int, QStringList> getResultsMap();
    // After parseReady(): whether the document was refused, not well-formed or cut short. The
    // result map then holds what was read before the break.
    bool hasError() const;

signals:
    void parseReady();

private:
    PromotionXmlParserPrivate *m_private;
};
