#include "svwidgetcontroller.h"

SvWidgetController::SvWidgetController(QGraphicsItem *parent) : SvStylableWidget(parent) { }

SvWidgetController::~SvWidgetController() = default;

QString SvWidgetController::viewType() const
{
    return m_viewType;
}

void SvWidgetController::setViewType(const QString &type)
{
    m_viewType = type;
    update();
}

Sv::Position SvWidgetController::layoutPosition() const
{
    return m_layoutPosition;
}

void SvWidgetController::setLayoutPosition(Sv::Position position)
{
    m_layoutPosition = position;
    update();
}
