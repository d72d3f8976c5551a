#include "svlayout.h"

#include <QWidget>

#include "svabstractlayoutpolicy.h"

SvLayout::SvLayout(QGraphicsLayoutItem *parent) : QGraphicsLayout(parent) { }

SvLayout::~SvLayout()
{
    for (int i = count() - 1; i >= 0; --i) {
        QGraphicsLayoutItem *item = itemAt(i);
        m_policy->takeAt(i);
        item->setParentLayoutItem(nullptr);
        if (item->ownedByLayout())
            delete item;
    }
    qDeleteAll(m_policies);
}

SvAbstractLayoutPolicy *SvLayout::policy() const
{
    return m_policy;
}

void SvLayout::setPolicy(SvAbstractLayoutPolicy *policy)
{
    if (!policy || policy->layout() != this || policy == m_policy)
        return;
    m_policy = policy;
    invalidate();
}

int SvLayout::count() const
{
    return m_policy ? m_policy->count() : 0;
}

QGraphicsLayoutItem *SvLayout::itemAt(int index) const
{
    return m_policy ? m_policy->itemAt(index) : nullptr;
}

void SvLayout::removeAt(int index)
{
    if (m_policy)
        m_policy->removeAt(index);
}

int SvLayout::indexOf(const QGraphicsLayoutItem *item) const
{
    return m_policy ? m_policy->indexOf(item) : -1;
}

void SvLayout::setGeometry(const QRectF &rect)
{
    QGraphicsLayout::setGeometry(rect);
    if (!m_policy)
        return;
    qreal left, top, right, bottom;
    getContentsMargins(&left, &top, &right, &bottom);
    m_policy->relayout(geometry().adjusted(left, top, -right, -bottom));
}

QSizeF SvLayout::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (which == Qt::MinimumDescent)
        return QSizeF(-1, -1);
    qreal left, top, right, bottom;
    getContentsMargins(&left, &top, &right, &bottom);
    const QSizeF margins(left + right, top + bottom);
    return m_policy ? m_policy->sizeHint(which, constraint) + margins : margins;
}

void SvLayout::addPolicy(SvAbstractLayoutPolicy *policy)
{
    m_policies.append(policy);
    if (!m_policy)
        m_policy = policy;
}

void SvLayout::adoptItem(QGraphicsLayoutItem *item)
{
    addChildLayoutItem(item);
}
