#pragma once

#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QSizeF>

// The looks the theme gives one style name. A negative component of
// fixedSize leaves that dimension to the widget.
struct SvStyle
{
    QColor backgroundColor;
    QColor pressedBackgroundColor;
    QColor focusFrameColor; // around a row that has the keyboard focus
    QColor foregroundColor = QColor(0x20, 0x20, 0x20);
    QFont font;
    QMarginsF margins;
    QSizeF fixedSize = QSizeF(-1, -1);
    qreal lineWidth = 1;
};
