#include "velloralistitem.h"

#include "panellayout.h"

VelloraListItem::VelloraListItem(QGraphicsItem *parent)
    : SvDetailedListItem(SvDetailedListItem::IconTitleSubtitleAndSideBottomTitle, parent)
{
    styleListItem(this, QStringLiteral("CommonTitleInverted"));
}

VelloraListItem::~VelloraListItem() = default;
