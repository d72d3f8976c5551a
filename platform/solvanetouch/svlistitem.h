#pragma once

#include "svwidgetcontroller.h"

// A touchable row. A press and a release inside the item make one clicked(),
// as do Return, Enter and space while it has the keyboard focus. The
// touchable rows of one top-level widget are one stop for Tab, as a list is:
// Tab enters them at the top and leaves them for the view's next widget, Up
// and Down move to the row above or below, Home and End to the first or last.
class SvListItem : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvListItem(QGraphicsItem *parent = nullptr);
    ~SvListItem() override;

    bool isDown() const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

public slots:
    // Does what a touch does.
    void activate();

signals:
    void clicked();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void ungrabMouseEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    QColor currentBackgroundColor() const override;

private:
    void setDown(bool down);
    void leaveRows(bool forward);
    // The touchable rows around this one, top to bottom.
    QList<SvListItem *> rowsInReach() const;

    bool m_down = false;
};
