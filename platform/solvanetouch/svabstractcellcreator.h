#pragma once

#include <type_traits>

#include <QGraphicsItem>

#include "svcellcreator.h"
#include "svwidgetrecycler.h"

// Cell creator for cells of class T: reuses a recycled T, else builds one
// without a parent, then fills it with updateCell().
template<class T>
class SvAbstractCellCreator : public SvCellCreator
{
public:
    SvWidget *createCell(const QModelIndex &index, SvWidgetRecycler &recycler) const override
    {
        SvWidget *cell = recycler.take(QString::fromLatin1(T::staticMetaObject.className()));
        if (!cell) {
            if constexpr (std::is_constructible_v<T, QGraphicsItem *>)
                cell = new T(static_cast<QGraphicsItem *>(nullptr));
            else
                cell = new T;
        }
        updateCell(index, cell);
        return cell;
    }

    QSizeF cellSize() const override { return m_cellSize; }

    void setCellSize(const QSizeF &size) { m_cellSize = size; }

private:
    QSizeF m_cellSize;
};
