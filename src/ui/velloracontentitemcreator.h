#pragma once

#include <QObject>

#include "velloralistitem.h"
#include "creatorbase.h"
#include "svabstractcellcreator.h"

class VelloraContentItemCreator : public SvAbstractCellCreator<VelloraListItem>,
                                  public CreatorBase,
                                  public QObject
{
public:
    explicit VelloraContentItemCreator(QObject *parent = nullptr);
    ~VelloraContentItemCreator() override;

    void updateCell(const QModelIndex &index, SvWidget *cell) const override;
    QSizeF cellSize() const override;
};
