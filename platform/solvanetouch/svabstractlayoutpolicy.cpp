#include "svabstractlayoutpolicy.h"

#include <QGraphicsLayoutItem>

#include "svlayout.h"

SvAbstractLayoutPolicy::SvAbstractLayoutPolicy(SvLayout *layout) : m_layout(layout)
{
    Q_ASSERT(layout);
    m_layout->addPolicy(this);
}

SvAbstractLayoutPolicy::~SvAbstractLayoutPolicy() = default;

SvLayout *SvAbstractLayoutPolicy::layout() const
{
    return m_layout;
}

int SvAbstractLayoutPolicy::count() const
{
    return m_entries.size();
}

QGraphicsLayoutItem *SvAbstractLayoutPolicy::itemAt(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries.at(index).item : nullptr;
}

int SvAbstractLayoutPolicy::indexOf(const QGraphicsLayoutItem *item) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).item == item)
            return i;
    }
    return -1;
}

void SvAbstractLayoutPolicy::removeItem(const QGraphicsLayoutItem *item)
{
    removeAt(indexOf(item));
}

void SvAbstractLayoutPolicy::removeAt(int index)
{
    if (QGraphicsLayoutItem *item = takeAt(index)) {
        item->setParentLayoutItem(nullptr);
        invalidateLayout();
    }
}

void SvAbstractLayoutPolicy::setContentsMargins(qreal left, qreal top, qreal right, qreal bottom)
{
    m_margins = QMarginsF(left, top, right, bottom);
    invalidateLayout();
}

void SvAbstractLayoutPolicy::getContentsMargins(qreal *left, qreal *top, qreal *right,
                                                qreal *bottom) const
{
    if (left)
        *left = m_margins.left();
    if (top)
        *top = m_margins.top();
    if (right)
        *right = m_margins.right();
    if (bottom)
        *bottom = m_margins.bottom();
}

void SvAbstractLayoutPolicy::setSpacing(qreal spacing)
{
    m_spacing = spacing;
    invalidateLayout();
}

qreal SvAbstractLayoutPolicy::spacing() const
{
    return m_spacing;
}

void SvAbstractLayoutPolicy::activate()
{
    m_layout->setPolicy(this);
}

bool SvAbstractLayoutPolicy::isActive() const
{
    return m_layout->policy() == this;
}

void SvAbstractLayoutPolicy::insertEntry(int index, QGraphicsLayoutItem *item,
                                         Qt::Alignment alignment)
{
    if (!item || item == m_layout)
        return;
    // Inserting an item that is already here moves it.
    const int existing = indexOf(item);
    if (existing >= 0)
        m_entries.removeAt(existing);
    else if (isActive())
        m_layout->adoptItem(item);
    if (index < 0 || index > m_entries.size())
        index = m_entries.size();
    m_entries.insert(index, Entry { item, alignment });
    invalidateLayout();
}

const QList<SvAbstractLayoutPolicy::Entry> &SvAbstractLayoutPolicy::entries() const
{
    return m_entries;
}

void SvAbstractLayoutPolicy::invalidateLayout()
{
    if (isActive())
        m_layout->invalidate();
}

QSizeF SvAbstractLayoutPolicy::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    Q_UNUSED(constraint)
    return itemsSizeHint(which)
            + QSizeF(m_margins.left() + m_margins.right(), m_margins.top() + m_margins.bottom());
}

void SvAbstractLayoutPolicy::relayout(const QRectF &rect)
{
    placeItems(rect.marginsRemoved(m_margins));
}

QGraphicsLayoutItem *SvAbstractLayoutPolicy::takeAt(int index)
{
    if (index < 0 || index >= m_entries.size())
        return nullptr;
    return m_entries.takeAt(index).item;
}
