#pragma once

#include "svwidgetcontroller.h"

// A line across the widget in its style's colour and line width.
class SvSeparator : public SvWidgetController
{
    Q_OBJECT

public:
    explicit SvSeparator(QGraphicsItem *parent = nullptr,
                         Qt::Orientation orientation = Qt::Horizontal);
    ~SvSeparator() override;

    Qt::Orientation orientation() const;
    void setOrientation(Qt::Orientation orientation);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF contentSizeHint(Qt::SizeHint which) const override;

private:
    Qt::Orientation m_orientation;
};
