#include "svlinearlayoutpolicy.h"

#include <QGraphicsItem>
#include <QGraphicsLayoutItem>
#include <QWidget>

namespace {

qreal along(const QSizeF &size, Qt::Orientation orientation)
{
    return orientation == Qt::Vertical ? size.height() : size.width();
}

qreal across(const QSizeF &size, Qt::Orientation orientation)
{
    return orientation == Qt::Vertical ? size.width() : size.height();
}

QSizePolicy::Policy policyAlong(const QGraphicsLayoutItem *item, Qt::Orientation orientation)
{
    const QSizePolicy policy = item->sizePolicy();
    return orientation == Qt::Vertical ? policy.verticalPolicy() : policy.horizontalPolicy();
}

// Places a length within a cell by the alignment flags of one direction;
// without flags for that direction the item stands at the cell's start.
qreal alignedOffset(qreal cell, qreal length, Qt::Alignment alignment, Qt::Alignment centre,
                    Qt::Alignment end)
{
    if (alignment & centre)
        return (cell - length) / 2;
    if (alignment & end)
        return cell - length;
    return 0;
}

} // namespace

SvLinearLayoutPolicy::SvLinearLayoutPolicy(SvLayout *layout, Qt::Orientation orientation)
    : SvAbstractLayoutPolicy(layout),
      m_orientation(orientation)
{ }

SvLinearLayoutPolicy::~SvLinearLayoutPolicy() = default;

Qt::Orientation SvLinearLayoutPolicy::orientation() const
{
    return m_orientation;
}

void SvLinearLayoutPolicy::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    invalidateLayout();
}

void SvLinearLayoutPolicy::addItem(QGraphicsLayoutItem *item, Qt::Alignment alignment)
{
    insertEntry(count(), item, alignment);
}

void SvLinearLayoutPolicy::insertItem(int index, QGraphicsLayoutItem *item, Qt::Alignment alignment)
{
    insertEntry(index, item, alignment);
}

QList<SvAbstractLayoutPolicy::Entry> SvLinearLayoutPolicy::shownEntries() const
{
    // Explicitly hidden widgets take no room, as in Qt's own layouts.
    QList<Entry> shown;
    for (const Entry &entry : entries()) {
        const QGraphicsItem *graphicsItem = entry.item->graphicsItem();
        if (!graphicsItem || graphicsItem->isVisibleTo(graphicsItem->parentItem()))
            shown.append(entry);
    }
    return shown;
}

QSizeF SvLinearLayoutPolicy::itemsSizeHint(Qt::SizeHint which) const
{
    const QList<Entry> shown = shownEntries();
    qreal length = shown.isEmpty() ? 0 : spacing() * (shown.size() - 1);
    qreal breadth = 0;
    for (const Entry &entry : shown) {
        const QSizeF hint = entry.item->effectiveSizeHint(which);
        length += along(hint, m_orientation);
        breadth = qMax(breadth, across(hint, m_orientation));
    }
    length = qMin<qreal>(length, QWIDGETSIZE_MAX);
    return m_orientation == Qt::Vertical ? QSizeF(breadth, length) : QSizeF(length, breadth);
}

// Each item's length along the line: its preferred one, then room to spare
// shared out or a lack of room taken back.
QList<qreal> SvLinearLayoutPolicy::lengthsAlong(const QList<Entry> &shown, qreal available) const
{
    const int n = int(shown.size());
    QList<qreal> sizes(n), minimum(n), maximum(n);
    qreal total = 0;
    for (int i = 0; i < n; ++i) {
        const QGraphicsLayoutItem *item = shown.at(i).item;
        sizes[i] = along(item->effectiveSizeHint(Qt::PreferredSize), m_orientation);
        minimum[i] = along(item->effectiveSizeHint(Qt::MinimumSize), m_orientation);
        maximum[i] = along(item->effectiveSizeHint(Qt::MaximumSize), m_orientation);
        total += sizes.at(i);
    }
    if (available > total)
        grow(shown, available - total, maximum, sizes);
    else if (available < total)
        shrink(shown, total - available, minimum, sizes);
    return sizes;
}

// Room to spare goes to the expanding items, else to those that may grow,
// in equal shares up to each one's maximum.
void SvLinearLayoutPolicy::grow(const QList<Entry> &shown, qreal spare, const QList<qreal> &maximum,
                                QList<qreal> &sizes) const
{
    QList<int> growing;
    for (const QSizePolicy::PolicyFlag flag : { QSizePolicy::ExpandFlag, QSizePolicy::GrowFlag }) {
        for (int i = 0; i < shown.size(); ++i) {
            if ((policyAlong(shown.at(i).item, m_orientation) & flag)
                && maximum.at(i) > sizes.at(i))
                growing.append(i);
        }
        if (!growing.isEmpty())
            break;
    }
    while (spare > 0.5 && !growing.isEmpty()) {
        const qreal share = spare / growing.size();
        for (qsizetype k = growing.size() - 1; k >= 0; --k) {
            const int i = growing.at(k);
            const qreal grant = qMin(share, maximum.at(i) - sizes.at(i));
            sizes[i] += grant;
            spare -= grant;
            if (grant < share)
                growing.removeAt(k);
        }
    }
}

// Too little room: the items that may shrink give it back towards their
// minimum, in proportion to what each can give.
void SvLinearLayoutPolicy::shrink(const QList<Entry> &shown, qreal lack,
                                  const QList<qreal> &minimum, QList<qreal> &sizes) const
{
    qreal slack = 0;
    for (int i = 0; i < shown.size(); ++i) {
        if (policyAlong(shown.at(i).item, m_orientation) & QSizePolicy::ShrinkFlag)
            slack += sizes.at(i) - minimum.at(i);
    }
    const qreal ratio = slack > 0 ? qMin<qreal>(1, lack / slack) : 0;
    for (int i = 0; i < shown.size(); ++i) {
        if (policyAlong(shown.at(i).item, m_orientation) & QSizePolicy::ShrinkFlag)
            sizes[i] -= (sizes.at(i) - minimum.at(i)) * ratio;
    }
}

// Sets one item's geometry in its cell of the line, which starts at position
// and is cellLength long; across the line the cell spans the whole rect.
void SvLinearLayoutPolicy::placeItem(const Entry &entry, const QRectF &rect, qreal position,
                                     qreal cellLength) const
{
    QGraphicsLayoutItem *item = entry.item;
    const bool vertical = m_orientation == Qt::Vertical;
    const qreal breadth = across(rect.size(), m_orientation);
    const QSizePolicy::Policy crossPolicy =
            policyAlong(item, vertical ? Qt::Horizontal : Qt::Vertical);
    const qreal crossMaximum = across(item->effectiveSizeHint(Qt::MaximumSize), m_orientation);
    const qreal crossPreferred = across(item->effectiveSizeHint(Qt::PreferredSize), m_orientation);
    qreal crossLength = (crossPolicy & (QSizePolicy::GrowFlag | QSizePolicy::ExpandFlag))
            ? qMin(breadth, crossMaximum)
            : qMin(breadth, crossPreferred);
    crossLength =
            qMax(crossLength,
                 qMin(breadth, across(item->effectiveSizeHint(Qt::MinimumSize), m_orientation)));
    const qreal length =
            qMin(cellLength, along(item->effectiveSizeHint(Qt::MaximumSize), m_orientation));

    // Along the line an item without alignment stands at its cell's start;
    // across it, items without alignment are centred.
    const Qt::Alignment alignment = entry.alignment;
    const Qt::Alignment mainCentre = vertical ? Qt::AlignVCenter : Qt::AlignHCenter;
    const Qt::Alignment mainEnd = vertical ? Qt::AlignBottom : Qt::AlignRight;
    const Qt::Alignment crossCentre = vertical ? Qt::AlignHCenter : Qt::AlignVCenter;
    const Qt::Alignment crossEnd = vertical ? Qt::AlignRight : Qt::AlignBottom;
    const Qt::Alignment crossMask = vertical ? Qt::AlignHorizontal_Mask : Qt::AlignVertical_Mask;
    const qreal mainStart =
            position + alignedOffset(cellLength, length, alignment, mainCentre, mainEnd);
    const qreal acrossStart = (vertical ? rect.left() : rect.top())
            + alignedOffset(breadth, crossLength, (alignment & crossMask) ? alignment : crossCentre,
                            crossCentre, crossEnd);
    item->setGeometry(vertical ? QRectF(acrossStart, mainStart, crossLength, length)
                               : QRectF(mainStart, acrossStart, length, crossLength));
}

void SvLinearLayoutPolicy::placeItems(const QRectF &rect)
{
    const QList<Entry> shown = shownEntries();
    if (shown.isEmpty())
        return;
    const qreal available = along(rect.size(), m_orientation) - spacing() * (shown.size() - 1);
    const QList<qreal> lengths = lengthsAlong(shown, available);
    qreal position = m_orientation == Qt::Vertical ? rect.top() : rect.left();
    for (int i = 0; i < shown.size(); ++i) {
        placeItem(shown.at(i), rect, position, lengths.at(i));
        position += lengths.at(i) + spacing();
    }
}
