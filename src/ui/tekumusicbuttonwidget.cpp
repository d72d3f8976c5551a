#include "tekumusicbuttonwidget.h"

#include "panellayout.h"
#include "svimagewidget.h"
#include "svlabel.h"
#include "svlinearlayoutpolicy.h"
#include "svlistitem.h"
#include "svseparator.h"
#include "svstylablewidget.h"

TekuMusicButtonWidget::TekuMusicButtonWidget(SvWidget *parent) : SvWidget(parent)
{
    SvLinearLayoutPolicy *policy = createLinearPolicy(this, Qt::Vertical);

    auto *largeSpacer = new SvStylableWidget(this);
    largeSpacer->setStyleName(QStringLiteral("CommonLargeSpacer"));
    policy->addItem(largeSpacer);

    auto *divider = new SvSeparator(this, Qt::Horizontal);
    divider->setStyleName(QStringLiteral("CommonItemDividerInverted"));
    policy->addItem(divider);

    auto *spacer = new SvStylableWidget(this);
    spacer->setStyleName(QStringLiteral("CommonSpacer"));
    policy->addItem(spacer);

    auto *item = new SvListItem(this);
    item->setStyleName(QStringLiteral("CommonSmallPanelInverted"));
    // It opens the store, as a link would; its label names it.
    item->setAccessibleRole(QAccessible::Link);
    policy->addItem(item);
    SvLinearLayoutPolicy *itemPolicy = createLinearPolicy(item, Qt::Horizontal);

    auto *icon = new SvImageWidget(QStringLiteral("icon-m-service-teku-music"), item);
    icon->setStyleName(QStringLiteral("CommonMainIcon"));
    itemPolicy->addItem(icon);

    auto *label = new SvLabel(qtTrId("qtn_musi_tekumusic_more"), item);
    label->setStyleName(QStringLiteral("CommonSingleTitleInverted"));
    itemPolicy->addItem(label);

    connect(item, &SvListItem::clicked, this, &TekuMusicButtonWidget::clicked);
}

TekuMusicButtonWidget::~TekuMusicButtonWidget() = default;
