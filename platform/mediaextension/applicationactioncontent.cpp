#include "applicationactioncontent.h"

ApplicationActionContent::ApplicationActionContent(QObject *parent) : QObject(parent) { }

ApplicationActionContent::ApplicationActionContent(const QHash<QString, QVariant> &values,
                                                   QObject *parent)
    : QObject(parent),
      m_values(values)
{ }

ApplicationActionContent::~ApplicationActionContent() = default;

QHash<QString, QVariant> ApplicationActionContent::values() const
{
    return m_values;
}

void ApplicationActionContent::setValues(const QHash<QString, QVariant> &values)
{
    m_values = values;
}

QVariant ApplicationActionContent::value(const QString &key) const
{
    return m_values.value(key);
}

void ApplicationActionContent::setValue(const QString &key, const QVariant &value)
{
    m_values.insert(key, value);
}
