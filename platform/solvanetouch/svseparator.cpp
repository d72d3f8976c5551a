#include "svseparator.h"

#include <QPainter>

SvSeparator::SvSeparator(QGraphicsItem *parent, Qt::Orientation orientation)
    : SvWidgetController(parent)
{
    setOrientation(orientation);
}

SvSeparator::~SvSeparator() = default;

Qt::Orientation SvSeparator::orientation() const
{
    return m_orientation;
}

void SvSeparator::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    if (orientation == Qt::Horizontal)
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    else
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    updateGeometry();
    update();
}

void SvSeparator::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    SvWidgetController::paint(painter, option, widget);
    const QRectF area = contentsRect();
    const qreal width = themeStyle().lineWidth;
    QRectF line;
    if (m_orientation == Qt::Horizontal)
        line = QRectF(area.left(), area.center().y() - width / 2, area.width(), width);
    else
        line = QRectF(area.center().x() - width / 2, area.top(), width, area.height());
    painter->fillRect(line, themeStyle().foregroundColor);
}

QSizeF SvSeparator::contentSizeHint(Qt::SizeHint which) const
{
    Q_UNUSED(which)
    const qreal width = themeStyle().lineWidth;
    return m_orientation == Qt::Horizontal ? QSizeF(0, width) : QSizeF(width, 0);
}
