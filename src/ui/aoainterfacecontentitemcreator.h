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

    void updateCell(const QModelIndex &index, SvWidget *cell) const override;
    QSizeF cellSize() const override;
};
