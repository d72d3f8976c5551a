#pragma once

#include <QObject>
#include <QSharedPointer>

#include "applicationactioncontent.h"

// The player's go-between for its extensions: it keeps the content of the
// view on screen and announces each new one.
class ApplicationActionMediator : public QObject
{
    Q_OBJECT

public:
    explicit ApplicationActionMediator(QObject *parent = nullptr);
    ~ApplicationActionMediator() override;

    // Null until the first content is published.
    QSharedPointer<ApplicationActionContent> currentContent() const;

public slots:
    // Keeps the content, then announces it.
    void publish(QSharedPointer<ApplicationActionContent> content);

signals:
    void viewStarted(QSharedPointer<ApplicationActionContent> content);

private:
    QSharedPointer<ApplicationActionContent> m_content;
};
