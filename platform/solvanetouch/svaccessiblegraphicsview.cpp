#include "svaccessiblegraphicsview.h"

#include <QGraphicsScene>
#include <QGraphicsView>

#include "svaccessible.h"
#include "svwidget.h"

SvAccessibleGraphicsView::SvAccessibleGraphicsView(QGraphicsView *view)
    : QAccessibleWidget(view, QAccessible::Client)
{ }

QList<SvWidget *> SvAccessibleGraphicsView::children() const
{
    const QGraphicsScene *scene = static_cast<QGraphicsView *>(widget())->scene();
    if (!scene)
        return {};
    QList<QGraphicsItem *> topLevel;
    const QList<QGraphicsItem *> items = scene->items(Qt::AscendingOrder);
    for (QGraphicsItem *item : items) {
        if (!item->parentItem())
            topLevel.append(item);
    }
    return SvAccessible::exposed(
            SvAccessible::inReadingOrder(SvAccessible::visibleWidgets(topLevel)));
}

QAccessibleInterface *SvAccessibleGraphicsView::child(int index) const
{
    return SvAccessible::childAt(children(), index);
}

int SvAccessibleGraphicsView::childCount() const
{
    return int(children().size());
}

int SvAccessibleGraphicsView::indexOfChild(const QAccessibleInterface *child) const
{
    return SvAccessible::indexOf(children(), child);
}

QAccessibleInterface *SvAccessibleGraphicsView::focusChild() const
{
    const QGraphicsScene *scene = static_cast<QGraphicsView *>(widget())->scene();
    QGraphicsItem *focused = scene ? scene->focusItem() : nullptr;
    auto *focusedWidget = focused ? qobject_cast<SvWidget *>(focused->toGraphicsObject()) : nullptr;
    if (!focusedWidget || !SvAccessible::isExposed(focusedWidget))
        return nullptr;
    return QAccessible::queryAccessibleInterface(focusedWidget);
}
