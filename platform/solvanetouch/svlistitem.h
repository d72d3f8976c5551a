#pragma once

#include "svwidgetcontroller.h"

// A touchable row. A press and a release inside the item make one clicked().
class SvListItem : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvListItem(QGraphicsItem *parent = nullptr);
    ~SvListItem() override;

    bool isDown() const;

signals:
    void clicked();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void ungrabMouseEvent(QEvent *event) override;
    QColor currentBackgroundColor() const override;

private:
    void setDown(bool down);

    bool m_down = false;
};
