#include "svwidgetrecycler.h"

#include "svwidget.h"

SvWidgetRecycler::SvWidgetRecycler() = default;

SvWidgetRecycler::~SvWidgetRecycler()
{
    for (const QList<QPointer<SvWidget>> &widgets : std::as_const(m_widgets)) {
        for (const QPointer<SvWidget> &widget : widgets)
            delete widget.data();
    }
}

void SvWidgetRecycler::recycle(SvWidget *widget)
{
    if (!widget)
        return;
    QList<QPointer<SvWidget>> &kept =
            m_widgets[QString::fromLatin1(widget->metaObject()->className())];
    kept.removeAll(nullptr);
    if (kept.contains(widget))
        return;
    widget->hide();
    if (kept.size() >= m_maxItemsPerClass) {
        // Deleted once control is back in the event loop, not at once: this
        // call may come from a slot of the very widget, whose signal is still
        // being emitted.
        widget->deleteLater();
        return;
    }
    kept.append(widget);
}

SvWidget *SvWidgetRecycler::take(const QString &className)
{
    QList<QPointer<SvWidget>> &kept = m_widgets[className];
    while (!kept.isEmpty()) {
        if (SvWidget *widget = kept.takeLast().data())
            return widget;
    }
    return nullptr;
}

int SvWidgetRecycler::recycledCount(const QString &className) const
{
    const QList<QPointer<SvWidget>> kept = m_widgets.value(className);
    return int(kept.size() - kept.count(nullptr));
}

int SvWidgetRecycler::maxItemsPerClass() const
{
    return m_maxItemsPerClass;
}

void SvWidgetRecycler::setMaxItemsPerClass(int count)
{
    m_maxItemsPerClass = qMax(0, count);
}
