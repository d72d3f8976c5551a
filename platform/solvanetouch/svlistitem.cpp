#include "svlistitem.h"

#include <QGraphicsSceneMouseEvent>

SvListItem::SvListItem(QGraphicsItem *parent) : SvWidgetController(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
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
