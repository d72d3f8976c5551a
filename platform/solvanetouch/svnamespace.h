#pragma once

namespace Sv {

// Where a widget stands in a group of similar widgets; the theme may draw
// edges and corners differently for each.
enum Position {
    DefaultPosition = 0,
    HorizontalLeftPosition,
    HorizontalCenterPosition,
    HorizontalRightPosition,
    VerticalTopPosition,
    VerticalCenterPosition,
    VerticalBottomPosition
};

} // namespace Sv
