#include "svlist.h"

#include "svaccessible.h"
#include "svcellcreator.h"
#include "svlayout.h"
#include "svlinearlayoutpolicy.h"
#include "svlistitem.h"

SvList::SvList(QGraphicsItem *parent) : SvWidgetController(parent)
{
    auto *layout = new SvLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_policy = new SvLinearLayoutPolicy(layout, Qt::Vertical);
    m_policy->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleRole(QAccessible::List);
}

SvList::~SvList() = default;

SvCellCreator *SvList::cellCreator() const
{
    return m_creator;
}

void SvList::setCellCreator(SvCellCreator *creator)
{
    if (creator == m_creator)
        return;
    m_creator = creator;
    rebuildCells();
}

QAbstractItemModel *SvList::itemModel() const
{
    return m_model;
}

void SvList::setItemModel(QAbstractItemModel *model)
{
    if (model == m_model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &SvList::onRowsInserted);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &SvList::onRowsRemoved);
        connect(model, &QAbstractItemModel::dataChanged, this, &SvList::onDataChanged);
        connect(model, &QAbstractItemModel::modelReset, this, &SvList::rebuildCells);
        connect(model, &QAbstractItemModel::layoutChanged, this, &SvList::rebuildCells);
        connect(model, &QAbstractItemModel::rowsMoved, this, &SvList::rebuildCells);
        connect(model, &QObject::destroyed, this, &SvList::clearCells);
    }
    rebuildCells();
}

int SvList::cellCount() const
{
    return m_cells.size();
}

SvWidget *SvList::cellAt(int row) const
{
    return m_cells.value(row);
}

QList<SvWidget *> SvList::accessibleChildren() const
{
    QList<QGraphicsItem *> cells(m_cells.cbegin(), m_cells.cend());
    return SvAccessible::exposed(SvAccessible::visibleWidgets(cells));
}

void SvList::onRowsInserted(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid() || !m_creator)
        return;
    for (int row = first; row <= last; ++row) {
        SvWidget *cell = makeCell(row);
        m_cells.insert(row, cell);
        m_policy->insertItem(row, cell);
    }
}

void SvList::onRowsRemoved(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    for (int row = qMin(last, int(m_cells.size()) - 1); row >= first; --row)
        recycleCell(m_cells.takeAt(row));
}

void SvList::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (!m_creator || !m_model || topLeft.parent().isValid())
        return;
    const int last = qMin(bottomRight.row(), int(m_cells.size()) - 1);
    for (int row = qMax(0, topLeft.row()); row <= last; ++row)
        m_creator->updateCell(m_model->index(row, 0), m_cells.at(row));
}

void SvList::onCellClicked()
{
    const int row = m_cells.indexOf(qobject_cast<SvWidget *>(sender()));
    if (row >= 0 && m_model)
        emit itemClicked(m_model->index(row, 0));
}

void SvList::rebuildCells()
{
    clearCells();
    m_cellSize = QSizeF();
    if (!m_creator || !m_model)
        return;
    const int rows = m_model->rowCount();
    for (int row = 0; row < rows; ++row) {
        SvWidget *cell = makeCell(row);
        m_cells.append(cell);
        m_policy->addItem(cell);
    }
}

SvWidget *SvList::makeCell(int row)
{
    SvWidget *cell = m_creator->createCell(m_model->index(row, 0), m_recycler);
    // A creator may measure a whole cell to tell its size: asked once for
    // the cells of one filling, not once a row.
    if (!m_cellSize.isValid())
        m_cellSize = m_creator->cellSize();
    if (m_cellSize.height() > 0)
        cell->setMinimumHeight(m_cellSize.height());
    if (auto *item = qobject_cast<SvListItem *>(cell))
        connect(item, &SvListItem::clicked, this, &SvList::onCellClicked, Qt::UniqueConnection);
    cell->setParentItem(this);
    cell->show();
    return cell;
}

void SvList::recycleCell(SvWidget *cell)
{
    m_policy->removeItem(cell);
    m_recycler.recycle(cell);
}

void SvList::clearCells()
{
    while (!m_cells.isEmpty())
        recycleCell(m_cells.takeLast());
}
