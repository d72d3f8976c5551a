#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

class SvWidget;

// Keeps widgets that scrolled out or were taken out of a list, so that a
// later cell of the same class reuses one instead of building a new one.
class SvWidgetRecycler
{
public:
    SvWidgetRecycler();
    ~SvWidgetRecycler();

    SvWidgetRecycler(const SvWidgetRecycler &) = delete;
    SvWidgetRecycler &operator=(const SvWidgetRecycler &) = delete;

    // Hides the widget and keeps it; beyond the limit per class it is deleted.
    void recycle(SvWidget *widget);
    // A kept widget of that class name, or null.
    SvWidget *take(const QString &className);

    int recycledCount(const QString &className) const;
    int maxItemsPerClass() const;
    void setMaxItemsPerClass(int count);

private:
    QHash<QString, QList<QPointer<SvWidget>>> m_widgets;
    int m_maxItemsPerClass = 10;
};
