#pragma once

#include <QAccessible>
#include <QList>

class QGraphicsItem;
class QGraphicsView;
class SvWidget;

// How the toolkit's widgets appear to assistive technology. The toolkit
// installs an interface factory when it is loaded, so that any host showing
// its widgets in a QGraphicsView has them in the view's accessibility tree:
// Qt's own interfaces end at the view.
namespace SvAccessible {

// A role whose children are shown on their own (a list, a group); a widget
// with any other role is one object, named by what it shows.
bool isContainer(QAccessible::Role role);

// The visible toolkit widgets among items.
QList<SvWidget *> visibleWidgets(const QList<QGraphicsItem *> &items);
// Siblings sorted top to bottom, then left to right.
QList<SvWidget *> inReadingOrder(QList<SvWidget *> siblings);
// What assistive technology sees of widgets: each one with a role, and in
// place of one without, what it sees inside that one.
QList<SvWidget *> exposed(const QList<SvWidget *> &widgets);

// A widget among the children an interface lists: the interface at index,
// or null; the index of an interface, or -1.
QAccessibleInterface *childAt(const QList<SvWidget *> &children, int index);
int indexOf(const QList<SvWidget *> &children, const QAccessibleInterface *child);

// Whether assistive technology sees the widget itself: it has a role and is
// not part of a widget that it reads as one object (a label in a row).
bool isExposed(const SvWidget *widget);

// The first view showing the item's scene, if any.
QGraphicsView *viewOf(const QGraphicsItem *item);

// Sends the event for the widget when assistive technology listens.
void notify(SvWidget *widget, QAccessible::Event event);
// A change of what the widget shows: the object that reads it out (the
// widget, or the row it is part of) has a new name.
void notifyNameChanged(SvWidget *widget);
void notifyShown(SvWidget *widget, bool shown);

} // namespace SvAccessible
