#pragma once

#include <QAccessibleWidget>

class QGraphicsView;
class SvWidget;

// A view as assistive technology sees it: its children are the toolkit
// widgets its scene shows, in reading order, instead of the viewport and
// scroll bars that a scroll area would list.
class SvAccessibleGraphicsView : public QAccessibleWidget
{
public:
    explicit SvAccessibleGraphicsView(QGraphicsView *view);

    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *focusChild() const override;

private:
    QList<SvWidget *> children() const;
};
