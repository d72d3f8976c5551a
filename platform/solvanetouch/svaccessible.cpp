#include "svaccessible.h"

#include <QGraphicsScene>
#include <QGraphicsView>

#include <algorithm>

#include "svaccessiblegraphicsview.h"
#include "svaccessiblewidget.h"
#include "svwidget.h"

namespace {

bool isLeaf(const SvWidget *widget)
{
    const QAccessible::Role role = widget->accessibleRole();
    return role != QAccessible::NoRole && !SvAccessible::isContainer(role);
}

// The outermost widget, widget itself or an ancestor, that is read as one
// object; null if there is none.
SvWidget *outermostLeaf(SvWidget *widget)
{
    SvWidget *leaf = nullptr;
    for (QGraphicsItem *item = widget; item; item = item->parentItem()) {
        auto *ancestor = qobject_cast<SvWidget *>(item->toGraphicsObject());
        if (ancestor && isLeaf(ancestor))
            leaf = ancestor;
    }
    return leaf;
}

QAccessibleInterface *createInterface(const QString &className, QObject *object)
{
    // Class names are offered from the most derived one up, so every
    // toolkit widget arrives here as an SvWidget at the latest, and every
    // view as a QGraphicsView before Qt's own factory makes it a plain
    // scroll area.
    if (className == QLatin1String("SvWidget"))
        return new SvAccessibleWidget(static_cast<SvWidget *>(object));
    if (className == QLatin1String("QGraphicsView"))
        return new SvAccessibleGraphicsView(static_cast<QGraphicsView *>(object));
    return nullptr;
}

void installFactory()
{
    QAccessible::installFactory(createInterface);
}

// A host that unloads the toolkit must not be left calling into it.
void removeFactory()
{
    QAccessible::removeFactory(createInterface);
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(installFactory)
Q_DESTRUCTOR_FUNCTION(removeFactory)

namespace SvAccessible {

bool isContainer(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::List:
    case QAccessible::Grouping:
    case QAccessible::Pane:
    case QAccessible::Client:
    case QAccessible::Window:
        return true;
    default:
        return false;
    }
}

QList<SvWidget *> visibleWidgets(const QList<QGraphicsItem *> &items)
{
    QList<SvWidget *> widgets;
    for (QGraphicsItem *item : items) {
        auto *widget = qobject_cast<SvWidget *>(item->toGraphicsObject());
        if (widget && widget->isVisible())
            widgets.append(widget);
    }
    return widgets;
}

QList<SvWidget *> inReadingOrder(QList<SvWidget *> siblings)
{
    std::stable_sort(siblings.begin(), siblings.end(), [](const SvWidget *a, const SvWidget *b) {
        if (a->y() != b->y())
            return a->y() < b->y();
        return a->x() < b->x();
    });
    return siblings;
}

QList<SvWidget *> exposed(const QList<SvWidget *> &widgets)
{
    QList<SvWidget *> result;
    for (SvWidget *widget : widgets) {
        if (widget->accessibleRole() != QAccessible::NoRole)
            result.append(widget);
        else
            result.append(widget->accessibleChildren());
    }
    return result;
}

QAccessibleInterface *childAt(const QList<SvWidget *> &children, int index)
{
    if (index < 0 || index >= children.size())
        return nullptr;
    return QAccessible::queryAccessibleInterface(children.at(index));
}

int indexOf(const QList<SvWidget *> &children, const QAccessibleInterface *child)
{
    if (!child)
        return -1;
    return int(children.indexOf(qobject_cast<SvWidget *>(child->object())));
}

bool isExposed(const SvWidget *widget)
{
    if (widget->accessibleRole() == QAccessible::NoRole)
        return false;
    for (QGraphicsItem *item = widget->parentItem(); item; item = item->parentItem()) {
        auto *ancestor = qobject_cast<SvWidget *>(item->toGraphicsObject());
        if (ancestor && isLeaf(ancestor))
            return false;
    }
    return true;
}

QGraphicsView *viewOf(const QGraphicsItem *item)
{
    const QGraphicsScene *scene = item->scene();
    return scene && !scene->views().isEmpty() ? scene->views().constFirst() : nullptr;
}

void notify(SvWidget *widget, QAccessible::Event event)
{
    // Nobody listening: no interface needs making for the event.
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent accessibleEvent(widget, event);
    QAccessible::updateAccessibility(&accessibleEvent);
}

void notifyNameChanged(SvWidget *widget)
{
    if (!QAccessible::isActive())
        return;
    if (SvWidget *reader = outermostLeaf(widget))
        notify(reader, QAccessible::NameChanged);
    else if (isExposed(widget))
        notify(widget, QAccessible::NameChanged);
}

void notifyShown(SvWidget *widget, bool shown)
{
    // Every row shown or hidden comes here: nobody listening, no walk up.
    if (QAccessible::isActive() && isExposed(widget))
        notify(widget, shown ? QAccessible::ObjectShow : QAccessible::ObjectHide);
}

} // namespace SvAccessible
