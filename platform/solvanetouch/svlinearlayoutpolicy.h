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
    QList<qreal> lengthsAlong(const QList<Entry> &shown, qreal available) const;
    void grow(const QList<Entry> &shown, qreal spare, const QList<qreal> &maximum,
              QList<qreal> &sizes) const;
    void shrink(const QList<Entry> &shown, qreal lack, const QList<qreal> &minimum,
                QList<qreal> &sizes) const;
    void placeItem(const Entry &entry, const QRectF &rect, qreal position, qreal cellLength) const;

    Qt::Orientation m_orientation;
};
