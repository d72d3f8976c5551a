#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// One consumer's line to the shared network service: holds the consumer's
// current request and passes on only the service's signals for it.
class PromotionNetwork : public QObject
{
    Q_OBJECT

public:
    explicit PromotionNetwork(QObject *parent = nullptr);

    void fetchXml(const QString &url, int delay);
    QByteArray getXmlData();
    void cancel();

signals:
    void errorOccurred(QString errorDescription, int errorCode = 0);
    void xmlFetchingStarted();
    void xmlDownloaded();

private slots:
    void handleErrorOccurred(int id, QString errorDescription, int errorCode = 0);
    void handleXmlFetchingStarted(int id);
    void handleXmlDownloaded(int id);

private:
    int m_requestId;
};
