#include "svwidget.h"

#include "svaccessible.h"

SvWidget::SvWidget(QGraphicsItem *parent) : QGraphicsWidget(parent) { }

SvWidget::~SvWidget() = default;

QAccessible::Role SvWidget::accessibleRole() const
{
    return m_accessibleRole;
}

void SvWidget::setAccessibleRole(QAccessible::Role role)
{
    m_accessibleRole = role;
}

QString SvWidget::accessibleName() const
{
    if (!m_accessibleName.isEmpty() || SvAccessible::isContainer(m_accessibleRole))
        return m_accessibleName;
    return accessibleText();
}

void SvWidget::setAccessibleName(const QString &name)
{
    if (name == m_accessibleName)
        return;
    m_accessibleName = name;
    SvAccessible::notifyNameChanged(this);
}

QList<SvWidget *> SvWidget::accessibleChildren() const
{
    return SvAccessible::exposed(
            SvAccessible::inReadingOrder(SvAccessible::visibleWidgets(childItems())));
}

QString SvWidget::accessibleText() const
{
    QStringList texts;
    for (const SvWidget *child :
         SvAccessible::inReadingOrder(SvAccessible::visibleWidgets(childItems()))) {
        const QString text = child->accessibleText();
        if (!text.isEmpty())
            texts.append(text);
    }
    return texts.join(QLatin1String(", "));
}

QVariant SvWidget::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemVisibleHasChanged)
        SvAccessible::notifyShown(this, value.toBool());
    return QGraphicsWidget::itemChange(change, value);
}
