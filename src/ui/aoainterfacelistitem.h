#pragma once

#include "svdetailedlistitem.h"

class AOAInterfaceListItem : public SvDetailedListItem
{
    Q_OBJECT

public:
    explicit AOAInterfaceListItem(QGraphicsItem *parent = nullptr);
    ~AOAInterfaceListItem() override;
};
