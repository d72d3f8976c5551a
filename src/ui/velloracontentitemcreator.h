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

    // The base's filling, which takes the default picture too, stays in reach.
    using CreatorBase::updateCell;
    void updateCell(const QModelIndex &index, SvWidget *cell) const override;
    QSizeF cellSize() const override;
};
