#include "svlistitem.h"

#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

#include "svaccessible.h"

SvListItem::SvListItem(QGraphicsItem *parent) : SvWidgetController(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setFlag(ItemIsFocusable);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleRole(QAccessible::ListItem);
}

SvListItem::~SvListItem() = default;

bool SvListItem::isDown() const
{
    return m_down;
}

void SvListItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    setDown(true);
}

void SvListItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    // Sliding off the item cancels the touch, as on the handset.
    if (m_down && !rect().contains(event->pos()))
        setDown(false);
}

void SvListItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    const bool wasDown = m_down;
    setDown(false);
    if (wasDown && event->button() == Qt::LeftButton && rect().contains(event->pos()))
        emit clicked();
}

void SvListItem::ungrabMouseEvent(QEvent *event)
{
    Q_UNUSED(event)
    setDown(false);
}

void SvListItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    SvWidgetController::paint(painter, option, widget);
    const QColor frame = themeStyle().focusFrameColor;
    if (!hasFocus() || !frame.isValid())
        return;
    const qreal width = 2;
    painter->setPen(QPen(frame, width));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect().adjusted(width / 2, width / 2, -width / 2, -width / 2));
}

void SvListItem::activate()
{
    emit clicked();
}

void SvListItem::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        if (!event->isAutoRepeat())
            activate();
        return;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        leaveRows(key == Qt::Key_Tab);
        return;
    }
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Home && key != Qt::Key_End) {
        SvWidgetController::keyPressEvent(event);
        return;
    }
    const QList<SvListItem *> rows = rowsInReach();
    const qsizetype here = rows.indexOf(this);
    qsizetype target = here;
    if (key == Qt::Key_Home)
        target = 0;
    else if (key == Qt::Key_End)
        target = rows.size() - 1;
    else
        target = qBound<qsizetype>(0, here + (key == Qt::Key_Down ? 1 : -1), rows.size() - 1);
    if (target != here && target >= 0)
        rows.at(target)->setFocus(Qt::OtherFocusReason);
}

void SvListItem::focusInEvent(QFocusEvent *event)
{
    // Tab enters the rows at the top (Backtab at the bottom), wherever the
    // scene's focus chain happens to put this row.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
        const QList<SvListItem *> rows = rowsInReach();
        SvListItem *entry = this;
        if (!rows.isEmpty())
            entry = reason == Qt::TabFocusReason ? rows.constFirst() : rows.constLast();
        if (entry != this) {
            entry->setFocus(reason);
            return;
        }
    }
    SvWidgetController::focusInEvent(event);
    update();
    SvAccessible::notify(this, QAccessible::Focus);
}

void SvListItem::focusOutEvent(QFocusEvent *event)
{
    SvWidgetController::focusOutEvent(event);
    update();
}

void SvListItem::leaveRows(bool forward)
{
    QGraphicsView *view = SvAccessible::viewOf(this);
    if (!view)
        return;
    QWidget *next = view;
    do {
        next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
    } while (next != view
             && !(next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)));
    if (next != view)
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

QList<SvListItem *> SvListItem::rowsInReach() const
{
    QList<SvListItem *> rows;
    QList<QGraphicsItem *> pending { topLevelItem() };
    while (!pending.isEmpty()) {
        QGraphicsItem *item = pending.takeLast();
        auto *row = qobject_cast<SvListItem *>(item->toGraphicsObject());
        if (row && row->isVisible() && row->isEnabled())
            rows.append(row);
        pending.append(item->childItems());
    }
    std::sort(rows.begin(), rows.end(), [](const SvListItem *a, const SvListItem *b) {
        return a->scenePos().y() < b->scenePos().y();
    });
    return rows;
}

QColor SvListItem::currentBackgroundColor() const
{
    if (m_down && themeStyle().pressedBackgroundColor.isValid())
        return themeStyle().pressedBackgroundColor;
    return SvWidgetController::currentBackgroundColor();
}

void SvListItem::setDown(bool down)
{
    if (down == m_down)
        return;
    m_down = down;
    update();
}
