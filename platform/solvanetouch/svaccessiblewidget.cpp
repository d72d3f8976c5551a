#include "svaccessiblewidget.h"

#include <QGraphicsView>

#include "svaccessible.h"
#include "svlistitem.h"

SvAccessibleWidget::SvAccessibleWidget(SvWidget *widget) : QAccessibleObject(widget) { }

SvWidget *SvAccessibleWidget::widget() const
{
    return static_cast<SvWidget *>(object());
}

QList<SvWidget *> SvAccessibleWidget::children() const
{
    // A row or a label is read as one object; what it is made of is not
    // walked through on its own.
    if (!SvAccessible::isContainer(widget()->accessibleRole()))
        return {};
    return widget()->accessibleChildren();
}

QAccessibleInterface *SvAccessibleWidget::parent() const
{
    for (QGraphicsItem *item = widget()->parentItem(); item; item = item->parentItem()) {
        auto *ancestor = qobject_cast<SvWidget *>(item->toGraphicsObject());
        if (ancestor && ancestor->accessibleRole() != QAccessible::NoRole)
            return QAccessible::queryAccessibleInterface(ancestor);
    }
    QGraphicsView *view = SvAccessible::viewOf(widget());
    return view ? QAccessible::queryAccessibleInterface(view) : nullptr;
}

QAccessibleInterface *SvAccessibleWidget::child(int index) const
{
    return SvAccessible::childAt(children(), index);
}

int SvAccessibleWidget::childCount() const
{
    return int(children().size());
}

int SvAccessibleWidget::indexOfChild(const QAccessibleInterface *child) const
{
    return SvAccessible::indexOf(children(), child);
}

QWindow *SvAccessibleWidget::window() const
{
    QGraphicsView *view = SvAccessible::viewOf(widget());
    return view ? view->window()->windowHandle() : nullptr;
}

QString SvAccessibleWidget::text(QAccessible::Text type) const
{
    return type == QAccessible::Name ? widget()->accessibleName() : QString();
}

QRect SvAccessibleWidget::rect() const
{
    QGraphicsView *view = SvAccessible::viewOf(widget());
    if (!view)
        return QRect();
    const QRect inView = view->mapFromScene(widget()->sceneBoundingRect()).boundingRect();
    return QRect(view->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QAccessible::Role SvAccessibleWidget::role() const
{
    return widget()->accessibleRole();
}

QAccessible::State SvAccessibleWidget::state() const
{
    const SvWidget *w = widget();
    QAccessible::State state;
    state.invisible = !w->isVisible();
    state.offscreen = state.invisible;
    state.disabled = !w->isEnabled();
    state.focusable = w->flags().testFlag(QGraphicsItem::ItemIsFocusable);
    state.focused = w->hasFocus();
    return state;
}

void *SvAccessibleWidget::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface && qobject_cast<SvListItem *>(widget()))
        return static_cast<QAccessibleActionInterface *>(this);
    return QAccessibleObject::interface_cast(type);
}

QStringList SvAccessibleWidget::actionNames() const
{
    return { pressAction(), setFocusAction() };
}

void SvAccessibleWidget::doAction(const QString &actionName)
{
    auto *item = qobject_cast<SvListItem *>(widget());
    if (!item || !item->isEnabled())
        return;
    if (actionName == pressAction())
        item->activate();
    else if (actionName == setFocusAction())
        item->setFocus(Qt::OtherFocusReason);
}

QStringList SvAccessibleWidget::keyBindingsForAction(const QString &actionName) const
{
    if (actionName == pressAction())
        return { QStringLiteral("Return") };
    return {};
}
