#pragma once

#include <QModelIndex>
#include <QSizeF>

class SvWidget;
class SvWidgetRecycler;

// Makes and fills the cells of an SvList from the rows of its model.
class SvCellCreator
{
public:
    virtual ~SvCellCreator();

    virtual SvWidget *createCell(const QModelIndex &index, SvWidgetRecycler &recycler) const = 0;
    virtual void updateCell(const QModelIndex &index, SvWidget *cell) const = 0;
    // The size the list reserves for each cell; an empty size leaves it to the cell.
    virtual QSizeF cellSize() const;
};
