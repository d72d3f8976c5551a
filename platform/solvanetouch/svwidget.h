#pragma once

#include <QGraphicsWidget>

// Base of every toolkit widget. Visibility changes are announced by the
// inherited QGraphicsObject::visibleChanged(), emitted after the change.
class SvWidget : public QGraphicsWidget
{
    Q_OBJECT

public:
    explicit SvWidget(QGraphicsItem *parent = nullptr);
    ~SvWidget() override;
};
