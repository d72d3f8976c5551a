#include "applicationactionmediator.h"

ApplicationActionMediator::ApplicationActionMediator(QObject *parent) : QObject(parent) { }

ApplicationActionMediator::~ApplicationActionMediator() = default;

QSharedPointer<ApplicationActionContent> ApplicationActionMediator::currentContent() const
{
    return m_content;
}

void ApplicationActionMediator::publish(QSharedPointer<ApplicationActionContent> content)
{
    m_content = content;
    emit viewStarted(content);
}
