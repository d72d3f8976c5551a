#include "aoainterfacelistitem.h"

#include "panellayout.h"

AOAInterfaceListItem::AOAInterfaceListItem(QGraphicsItem *parent)
    : SvDetailedListItem(SvDetailedListItem::IconTitle, parent)
{
    styleListItem(this, QStringLiteral("CommonSingleTitleInverted"));
}

AOAInterfaceListItem::~AOAInterfaceListItem() = default;
