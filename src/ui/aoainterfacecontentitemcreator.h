#pragma once

#include <QObject>

#include "aoainterfacelistitem.h"
#include "creatorbase.h"
#include "svabstractcellcreator.h"

class AOAInterfaceContentItemCreator : public SvAbstractCellCreator<AOAInterfaceListItem>,
                                       public CreatorBase,
                                       public QObject
{
public:
    explicit AOAInterfaceContentItemCreator(QObject *parent = nullptr);
    ~AOAInterfaceContentItemCreator() override;

    // The base's filling, which takes the default picture too, stays in reach.
    using CreatorBase::updateCell;
    void updateCell(const QModelIndex &index, SvWidget *cell) const override;
    QSizeF cellSize() const override;
};
