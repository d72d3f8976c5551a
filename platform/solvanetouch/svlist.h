#pragma once

#include <QAbstractItemModel>
#include <QSizeF>
#include <QList>
#include <QPointer>

#include "svwidgetcontroller.h"
#include "svwidgetrecycler.h"

class SvCellCreator;
class SvLinearLayoutPolicy;

// A column of cells, one per row of the item model (column 0, top level),
// made and filled by the cell creator. The list does not own the creator
// or the model.
class SvList : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvList(QGraphicsItem *parent = nullptr);
    ~SvList() override;

    SvCellCreator *cellCreator() const;
    void setCellCreator(SvCellCreator *creator);

    QAbstractItemModel *itemModel() const;
    void setItemModel(QAbstractItemModel *model);

    int cellCount() const;
    SvWidget *cellAt(int row) const;

    // The cells in the order of their rows, whether laid out yet or not.
    QList<SvWidget *> accessibleChildren() const override;

signals:
    void itemClicked(const QModelIndex &index);

private slots:
    void onRowsInserted(const QModelIndex &parent, int first, int last);
    void onRowsRemoved(const QModelIndex &parent, int first, int last);
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void onCellClicked();
    void rebuildCells();

private:
    SvWidget *makeCell(int row);
    void recycleCell(SvWidget *cell);
    void clearCells();

    SvLinearLayoutPolicy *m_policy;
    SvCellCreator *m_creator = nullptr;
    QPointer<QAbstractItemModel> m_model;
    QList<SvWidget *> m_cells;
    QSizeF m_cellSize; // invalid: not yet asked since the cells were last rebuilt
    SvWidgetRecycler m_recycler;
};
