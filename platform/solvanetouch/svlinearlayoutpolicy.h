#pragma once

#include <Qt>

#include "svabstractlayoutpolicy.h"

// Places items in one row or column, in the order of their indices.
class SvLinearLayoutPolicy : public SvAbstractLayoutPolicy
{
public:
    SvLinearLayoutPolicy(SvLayout *layout, Qt::Orientation orientation);
    ~SvLinearLayoutPolicy() override;

    Qt::Orientation orientation() const;
    void setOrientation(Qt::Orientation orientation);

    void addItem(QGraphicsLayoutItem *item, Qt::Alignment alignment = {});
    // An index out of range appends the item.
    void insertItem(int index, QGraphicsLayoutItem *item, Qt::Alignment alignment = {});

protected:
    QSizeF itemsSizeHint(Qt::SizeHint which) const override;
    void placeItems(const QRectF &rect) override;

private:
    QList<Entry> shownEntries() const;

    Qt::Orientation m_orientation;
};
