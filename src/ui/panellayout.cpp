#include "panellayout.h"

#include <QString>

#include "svdetailedlistitem.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svnamespace.h"

SvLinearLayoutPolicy *createLinearPolicy(SvWidget *widget, Qt::Orientation orientation)
{
    auto *layout = new SvLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    auto *policy = new SvLinearLayoutPolicy(layout, orientation);
    policy->setContentsMargins(0, 0, 0, 0);
    policy->setSpacing(0);
    widget->setLayout(layout);
    return policy;
}

void styleListItem(SvDetailedListItem *item, const QString &titleStyleName)
{
    item->setLayoutPosition(Sv::VerticalCenterPosition);
    item->setIconStyle(SvDetailedListItem::Thumbnail);
    item->setStyleName(QStringLiteral("CommonPanelInverted"));
    item->titleLabelWidget()->setStyleName(titleStyleName);
    item->subtitleLabelWidget()->setStyleName(QStringLiteral("CommonSubTitleInverted"));
    item->sideBottomLabelWidget()->setStyleName(QStringLiteral("CommonItemInfoInverted"));
    item->imageWidget()->setStyleName(QStringLiteral("CommonThumbnail"));
}
