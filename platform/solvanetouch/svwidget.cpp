#include "svwidget.h"

SvWidget::SvWidget(QGraphicsItem *parent) : QGraphicsWidget(parent) { }

SvWidget::~SvWidget() = default;
