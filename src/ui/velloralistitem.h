#pragma once

#include "svdetailedlistitem.h"

class VelloraListItem : public SvDetailedListItem
{
    Q_OBJECT

public:
    explicit VelloraListItem(QGraphicsItem *parent = nullptr);
    ~VelloraListItem() override;
};
