#pragma once

#include <QList>
#include <QMarginsF>
#include <QRectF>

class QGraphicsLayoutItem;
class SvLayout;

// An ordered set of layout items and the rule that places them. An item
// taken out of a policy is only detached, never deleted.
class SvAbstractLayoutPolicy
{
public:
    explicit SvAbstractLayoutPolicy(SvLayout *layout);
    virtual ~SvAbstractLayoutPolicy();

    SvLayout *layout() const;

    int count() const;
    QGraphicsLayoutItem *itemAt(int index) const;
    int indexOf(const QGraphicsLayoutItem *item) const;
    void removeItem(const QGraphicsLayoutItem *item);
    void removeAt(int index);

    void setContentsMargins(qreal left, qreal top, qreal right, qreal bottom);
    void getContentsMargins(qreal *left, qreal *top, qreal *right, qreal *bottom) const;
    void setSpacing(qreal spacing);
    qreal spacing() const;

    // Makes this the policy that places its layout's items.
    void activate();
    bool isActive() const;

protected:
    struct Entry
    {
        QGraphicsLayoutItem *item;
        Qt::Alignment alignment;
    };

    void insertEntry(int index, QGraphicsLayoutItem *item, Qt::Alignment alignment);
    const QList<Entry> &entries() const;
    void invalidateLayout();

    // Size of the items without the policy's margins.
    virtual QSizeF itemsSizeHint(Qt::SizeHint which) const = 0;
    // Places the items inside rect, margins already taken off.
    virtual void placeItems(const QRectF &rect) = 0;

private:
    friend class SvLayout;
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint) const;
    void relayout(const QRectF &rect);
    QGraphicsLayoutItem *takeAt(int index);

    SvLayout *m_layout;
    QList<Entry> m_entries;
    QMarginsF m_margins;
    qreal m_spacing = 0;
};
